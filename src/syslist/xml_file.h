// Reading an XML file into a TinyXML document. TinyXML's own file reader hands its parser a buffer
// that ends right after the terminating zero, and the parser steps past that zero after a truncated
// multi-byte character at the end of the text; this reader gives it the same text with zero padding.
#ifndef QMV3_SYSLIST_XML_FILE_H
#define QMV3_SYSLIST_XML_FILE_H

#include <tinyxml.h>

// Like TiXmlDocument::LoadFile(path): reads the whole file, turns CR LF and lone CR into LF and parses
// it. False when the file cannot be read, is empty, or does not parse. May throw std::bad_alloc.
bool LoadXmlFile(TiXmlDocument& document, const char* path);

#endif
