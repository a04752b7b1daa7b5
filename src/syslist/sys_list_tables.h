// The flat tables of the system list model: growable arrays of fixed-size name fields and of records,
// kept in plain malloc/realloc memory. Each starts with room for 10 entries and grows by 5 when an
// append fills it. The owner releases them with the matching free function. Not thread-safe.
#ifndef QMV3_SYSLIST_SYS_LIST_TABLES_H
#define QMV3_SYSLIST_SYS_LIST_TABLES_H

#include <cstdint>
#include <cstdlib>

#include "syslist/name_rules.h"
#include "syslist/sgp_types.h"

constexpr uint32_t kInitialListCapacity = 10;
constexpr uint32_t DEFAULT_LIST_INCREMENT_STEP = 5;

// Codes of the add functions and the table operations.
constexpr int kSysListAllocationError = -3;
constexpr int kSysListReallocationError = -4;
constexpr int kSysListInvalidContent = -5;

struct tNameList {
    tName65* names;
    uint32_t count;
    uint32_t capacity;
};

struct tImageSourceRecord {
    tName65 name;
    uint32_t ID;
    tSGPTYPES type;
};

struct tImageSourceGroupRecord {
    tName65 name;
    tNameList imageSources;
};

struct tSGPRecord {
    tName65 name;
    tSGPTYPES type;
    tNameList imageSources;
    tNameList groups;
};

// A GS2CL or Raw2Jpeg server.
struct tServerRecord {
    tName65 name;
    tNameList sgps;
};

template <typename Record>
struct tTable {
    Record* records;
    uint32_t count;
    uint32_t capacity;
};

// Gives the list room for 10 names; false when the memory is not there.
bool nameListCreate(tNameList& list);
void nameListFree(tNameList& list);
// 0, -5 for a name of the wrong length, -4 when the list could not be enlarged.
int nameListAppend(tNameList& list, const char* name, size_t length);
int nameListAppend(tNameList& list, const char* name);
// Number of entries equal to name, exactly or without regard to case.
uint32_t nameListCount(const tNameList& list, const char* name, bool caseSensitive);

// Grows a filled array by DEFAULT_LIST_INCREMENT_STEP entries; false (array unchanged) on failure.
bool growArray(void** array, uint32_t& capacity, size_t entrySize);

template <typename Record>
bool tableCreate(tTable<Record>& table) {
    table.count = 0;
    table.records = static_cast<Record*>(calloc(kInitialListCapacity, sizeof(Record)));
    table.capacity = table.records != nullptr ? kInitialListCapacity : 0;
    return table.records != nullptr;
}

// Appends a copy of record (which then belongs to the table); 0, or -4 (record not taken) when no
// room could be made.
template <typename Record>
int tableAppend(tTable<Record>& table, const Record& record) {
    if (table.count + 1 >= table.capacity) {
        void* records = table.records;
        if (!growArray(&records, table.capacity, sizeof(Record))) return kSysListReallocationError;
        table.records = static_cast<Record*>(records);
    }
    table.records[table.count++] = record;
    return 0;
}

template <typename Record>
void tableFree(tTable<Record>& table) {
    free(table.records);
    table.records = nullptr;
    table.count = 0;
    table.capacity = 0;
}

#endif
