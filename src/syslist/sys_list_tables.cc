// Growable name lists and record tables of the system list model.
#include "syslist/sys_list_tables.h"

#include <strings.h>

#include <cstring>

bool growArray(void** array, uint32_t& capacity, size_t entrySize) {
    const uint32_t newCapacity = capacity + DEFAULT_LIST_INCREMENT_STEP;
    if (newCapacity < capacity) return false;
    void* grown = realloc(*array, static_cast<size_t>(newCapacity) * entrySize);
    if (grown == nullptr) return false;
    *array = grown;
    capacity = newCapacity;
    return true;
}

bool nameListCreate(tNameList& list) {
    list.count = 0;
    list.names = static_cast<tName65*>(calloc(kInitialListCapacity, sizeof(tName65)));
    list.capacity = list.names != nullptr ? kInitialListCapacity : 0;
    return list.names != nullptr;
}

void nameListFree(tNameList& list) {
    free(list.names);
    list.names = nullptr;
    list.count = 0;
    list.capacity = 0;
}

int nameListAppend(tNameList& list, const char* name, size_t length) {
    if (name == nullptr || length < 1 || length > kMaxNameLength) return kSysListInvalidContent;
    if (list.count + 1 >= list.capacity) {
        void* names = list.names;
        if (!growArray(&names, list.capacity, sizeof(tName65))) return kSysListReallocationError;
        list.names = static_cast<tName65*>(names);
    }
    copyName(list.names[list.count++], name, length);
    return 0;
}

int nameListAppend(tNameList& list, const char* name) {
    if (name == nullptr) return kSysListInvalidContent;
    return nameListAppend(list, name, strnlen(name, kMaxNameLength + 1));
}

uint32_t nameListCount(const tNameList& list, const char* name, bool caseSensitive) {
    if (name == nullptr) return 0;
    uint32_t matches = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        const bool equal = caseSensitive ? strcmp(list.names[i], name) == 0 : strcasecmp(list.names[i], name) == 0;
        if (equal) ++matches;
    }
    return matches;
}
