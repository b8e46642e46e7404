// The daemons' language files, <product folder>\lang\qmcertd_<language id>.lng:
// "key=text" lines in the language's own code page, ";" comment lines, "[section]" lines.
// Portable: no windows.h.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_MESSAGE_TABLE_H_
#define QM_COMPONENTS_RUNTIME_COMMON_MESSAGE_TABLE_H_

#include <map>
#include <string>
#include <vector>

namespace qm {

using MessageTable = std::map<std::string, std::string>;

// Texts are kept byte for byte; a later line of the same key wins.
MessageTable ParseMessageTable(const std::string& bytes);

// The language files to try for a Windows language id, best first: the id itself, then for
// Chinese the family's file (1028 Traditional, 2052 Simplified) and 4444, our "Chinese,
// default"; English (1033) last.
std::vector<unsigned> LanguageCandidates(unsigned language_id);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_MESSAGE_TABLE_H_
