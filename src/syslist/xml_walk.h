// Walking the element children of a system list node. Only elements count: text, comments and other
// nodes between them are skipped, so a comment or a text that happens to read like an element name
// is never taken for one.
#ifndef QMV3_SYSLIST_XML_WALK_H
#define QMV3_SYSLIST_XML_WALK_H

#include <tinyxml.h>

#include <cstring>

// Calls visit(element) for every element child of parent in document order until it returns a
// non-zero code, which is then returned; 0 when all were visited.
template <typename Visit>
int forEachChildElement(TiXmlNode* parent, Visit visit) {
    if (parent == nullptr) return 0;
    for (TiXmlNode* child = parent->IterateChildren(nullptr); child != nullptr;
         child = parent->IterateChildren(child)) {
        TiXmlElement* element = child->ToElement();
        if (element == nullptr) continue;
        const int code = visit(element);
        if (code != 0) return code;
    }
    return 0;
}

inline bool isNamed(const TiXmlElement* element, const char* name) { return strcmp(element->Value(), name) == 0; }

#endif
