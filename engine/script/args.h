// The argument rules every command handler shares. Each returns false, leaving |out| alone,
// when the text lacks the quotes, comma or braces the rule needs.
#ifndef QM_ENGINE_SCRIPT_ARGS_H_
#define QM_ENGINE_SCRIPT_ARGS_H_

#include <string>

namespace qm {

// Between the first and the second double quote.
bool ArgsFirstQuoted(const std::string& text, std::string* out);
// After the first comma, between the next two double quotes.
bool ArgsSecondQuoted(const std::string& text, std::string* out);
// Between the first and the last double quote; inner quotes kept.
bool ArgsOuterQuoted(const std::string& text, std::string* out);
// After the last comma, blanks removed.
bool ArgsFlagField(const std::string& text, std::string* out);
// From the first "{" through the first "}" after it.
bool ArgsPlaceholderName(const std::string& text, std::string* out);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_ARGS_H_
