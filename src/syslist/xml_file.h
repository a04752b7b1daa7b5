// Reading an XML file into a TinyXML document. TinyXML's own file reader hands its parser a buffer
// that ends right after the terminating zero, and the parser steps past that zero after a truncated
// multi-byte character at the end of the text; this reader gives it the same text with zero padding.
// It reads regular files only and refuses, before parsing, a document beyond the bounds of
// util/xml_bounds.h (the parser's recursion and time would follow the file's whim).
#ifndef QMV3_SYSLIST_XML_FILE_H
#define QMV3_SYSLIST_XML_FILE_H

#include <tinyxml.h>

#include <string>

// Like TiXmlDocument::LoadFile(path): reads the whole file, turns CR LF and lone CR into LF and parses
// it. False when the file cannot be read, is empty, or does not parse. When the file is refused because
// it is no regular file other than a folder (a FIFO, a device) or exceeds a bound, `refusal` (may be
// null) gets the reason, e.g. "nesting deeper than 256 levels"; otherwise it is left empty. May throw
// std::bad_alloc.
bool LoadXmlFile(TiXmlDocument& document, const char* path, std::string* refusal = nullptr);

#endif
