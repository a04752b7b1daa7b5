// The live view's page: its HTML (which carries the token into every address it uses), its script and
// its styles. Nothing on the page comes from anywhere but the tool.
#ifndef QMV3_TOOL_VIEW_PAGE_H
#define QMV3_TOOL_VIEW_PAGE_H

#include <string>

namespace qmv3tool {

std::string ViewPageHtml(const std::string& token);
extern const char kViewScript[];
extern const char kViewStyle[];

}  // namespace qmv3tool

#endif
