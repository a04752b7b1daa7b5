// Structural validation of a parsed system list: the element tree, the text rules of every name, and
// one message for the first violation found. The document is only read. No state; a document and a
// log writer must not be shared with another thread during the call.
#ifndef QMV3_SYSLIST_XML_VALIDATION_H
#define QMV3_SYSLIST_XML_VALIDATION_H

#include <tinyxml.h>

#include <cstddef>

class CLogging;

// 1 when the document is a valid system list, else 0; with logErrors the first violation is written
// to log as one line.
int ValidateConfigurationXML_SysList(TiXmlDocument& doc, bool logErrors, CLogging& log);

// Element checks: 0 when the element is sound, else the negative code of its first violation.
int checkImageSource(TiXmlElement* element);
int checkImageSourceGroup(TiXmlElement* element);
int checkSGP(TiXmlElement* element);
int checkGS2CL(TiXmlElement* element);
int checkRaw2Jpeg(TiXmlElement* element);

// 1 when the node is an element whose text follows the rule, else 0.
int checkNameNode(TiXmlNode* node);
int checkNameIDNode(TiXmlNode* node);
int checkSGPTypeNode(TiXmlNode* node);

// The message for a validation code (-37..-1), numbered where the message takes the element's number;
// other codes give the unknown-error text with the code.
void formatValidationMessage(int code, int number, char* out, size_t size);

#endif
