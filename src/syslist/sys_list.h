// The system list model: a system list file loaded into flat tables of image sources, SGPs, GS2CLs
// and Raw2Jpegs, with image source groups expanded into the SGPs that name them, and the queries on
// those tables. One object serves one user: it is not shared between threads and keeps no global
// state.
#ifndef QMV3_SYSLIST_SYS_LIST_H
#define QMV3_SYSLIST_SYS_LIST_H

#include <tinyxml.h>

#include "qmv3/qmv3.h"
#include "syslist/sys_list_tables.h"

class CLogging;

// The load messages, by the magnitude of the code (0 and unknown codes: "Unknown Error.").
const char* SysListXMLAdvancedErrorString(int code);

class CSysList {
  public:
    CSysList();
    virtual ~CSysList();
    CSysList(const CSysList&) = delete;
    CSysList& operator=(const CSysList&) = delete;

    // Loads, validates and resolves a system list file, replacing what was loaded before. On failure
    // the object is left empty; problems are written to log when logErrors is set (the validator's
    // own line is always written).
    bool LoadSysList(const char* path, bool logErrors, CLogging& log);
    const char* getName() const;
    const char* getZantContext() const;

    // Append one record of validated content: 0, -3 no memory, -4 no room to grow, -5 bad content.
    int addImageSource(TiXmlElement* element);
    int addImageSourceGroup(TiXmlElement* element);
    int addSGP(TiXmlElement* element);
    int addGS2CL(TiXmlElement* element);
    int addRaw2Jpeg(TiXmlElement* element);
    void ResetContent();
    void freeStructs();

    // Queries: 1 on success, 0 on failure or when nothing is loaded (unless noted). The list forms
    // take the room of out in n and return the number written: null out asks for the count, a room of
    // 0 writes nothing.
    int returnNumImageSources(unsigned int& n);
    int returnNumSGPs(unsigned int& n);
    int returnNumGS2CLs(unsigned int& n);
    int returnNumRaw2Jpegs(unsigned int& n);
    int returnImageSources(NAME64I* out, unsigned int& n);
    int returnImageSources(NAME64* out, unsigned int& n);
    int returnSGPs(NAME64* out, unsigned int& n);
    int returnGS2CLs(NAME64* out, unsigned int& n);
    int returnRaw2Jpegs(NAME64* out, unsigned int& n);

    // Exact (case-sensitive) name, or the first image source with the ID.
    int returnImageSourceSGPType(const char* name, tSGPTYPES& type);
    int returnImageSourceSGPType(unsigned int id, tSGPTYPES& type);
    int returnImageSourceID(const char* name, unsigned int& id);
    int returnSGPType(const char* name, tSGPTYPES& type);

    // Without regard to case, whether loaded or not; index = the table index of the first match.
    int existImageSource(const char* name);
    int existImageSource(const char* name, unsigned int& index);
    int existSGP(const char* name);
    int existSGP(const char* name, unsigned int& index);
    int existGS2CL(const char* name);
    int existGS2CL(const char* name, unsigned int& index);
    int existRaw2Jpeg(const char* name);
    int existRaw2Jpeg(const char* name, unsigned int& index);
    int existImageSourceGroup(const char* name, unsigned int& index);

    int returnNumImageSourcesAvailableAtSGP(const char* sgp, unsigned int& n);
    int returnImageSourcesAvailableAtSGP(const char* sgp, NAME64I* out, unsigned int& n);
    int returnImageSourcesAvailableAtSGP(const char* sgp, NAME64* out, unsigned int& n);
    int returnNumSGPsAvailableAtGS2CL(const char* gs2cl, unsigned int& n);
    int returnNumSGPsAvailableAtRaw2Jpeg(const char* raw2Jpeg, unsigned int& n);
    int returnSGPsAvailableAtGS2CL(const char* gs2cl, NAME64* out, unsigned int& n);
    // All or nothing: 0 when out is null or the list does not fit into n.
    int returnSGPsAvailableAtRaw2Jpeg(const char* raw2Jpeg, NAME64* out, unsigned int& n);

    int returnNumGS2CLsPossibleForSGP(const char* sgp, unsigned int& n);
    int returnNumRaw2JpegsPossibleForSGP(const char* sgp, unsigned int& n);
    int returnGS2CLsPossibleForSGP(const char* sgp, NAME64* out, unsigned int& n);
    int returnRaw2JpegsPossibleForSGP(const char* sgp, NAME64* out, unsigned int& n);
    int returnNumLayersPossibleForSGP(const char* sgp, unsigned int& n);
    int returnLayersPossibleForSGP(const char* sgp, NAME64* out, unsigned int& n);

    // Does not look at the loaded state; always 1.
    int returnNumSGPsWhereTheImageSourceMayBeAvailableAt(const char* name, unsigned int& n);
    // n (out) is the number of matching SGPs, which exceeds n (in) when the room ran out.
    int returnSGPsWhereTheImageSourceMayBeAvailableAt(const char* name, NAME64* out, unsigned int& n);

    // 1 when A may be connected to B; otherwise 0 and reason: -2 A unknown, -3 B not of the kind A
    // connects to, -4 not allowed. Without a loaded list it returns 0 and leaves reason alone.
    int isComponentAAllowedAtB(const char* a, const char* b, int& reason);
    int isComponentAAllowedAtB(const char* a, const char* b);

  private:
    int loadContent(const char* path, bool logErrors, CLogging& log);
    int loadComponents(TiXmlElement* components);
    int checkUniqueNames();
    int checkServerReferences();
    int expandGroups(bool logErrors, CLogging& log);
    int expandGroupIntoSGP(tSGPRecord& sgp, const tImageSourceGroupRecord& group, bool logErrors, CLogging& log);
    int assignImageSourcesByType();
    int checkSGPReferences();
    int possibleServersForSGP(const tTable<tServerRecord>& servers, const char* sgp, NAME64* out, unsigned int& n);
    int countPossibleServers(const tTable<tServerRecord>& servers, const char* sgp, unsigned int& n);

    TiXmlDocument document;
    bool loaded;
    tTable<tServerRecord> raw2Jpegs;
    tTable<tServerRecord> gs2cls;
    tTable<tImageSourceRecord> imageSources;
    tTable<tSGPRecord> sgps;
    tTable<tImageSourceGroupRecord> imageSourceGroups;
    tName65 name;
    tName65 context;
};

#endif
