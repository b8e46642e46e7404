// GoogleTest shows a typed result by its name and number, "kStagingFailed (4)", where it would
// otherwise show the bytes of an object.
#ifndef QM_TESTS_RESULT_PRINTER_H_
#define QM_TESTS_RESULT_PRINTER_H_

#include <ostream>

#include "base/result.h"

namespace qm {

template <typename Result>
auto operator<<(std::ostream& out, Result r) -> decltype(ResultName(r), out) {
  return out << ResultName(r) << " (" << ToInt(r) << ")";
}

}  // namespace qm

#endif  // QM_TESTS_RESULT_PRINTER_H_
