// Typed results. Every result set is an enum class whose success value is named kOk, with a
// ResultName() overload beside it that names each value. Only exports and programs' main turn a
// result into an int (ToInt); everything inside passes the enum.
//
// QM_RETURN_IF_FAILED(expr) is the one early-return idiom: it evaluates |expr| once and, when the
// result is not kOk, reports where and what failed to the debugger channel and returns it. The
// report never goes to a product's own log, whose lines readers parse.
#ifndef QM_BASE_RESULT_H_
#define QM_BASE_RESULT_H_

#include <cstdio>
#include <type_traits>

#ifdef _WIN32
// Declared here rather than through windows.h, whose macros would rename portable code's names.
extern "C" __declspec(dllimport) void __stdcall OutputDebugStringA(const char* text);
extern "C" __declspec(dllimport) unsigned long __stdcall GetLastError();
extern "C" __declspec(dllimport) void __stdcall SetLastError(unsigned long error);
#endif

namespace qm {

template <typename Result>
constexpr int ToInt(Result r) {
  static_assert(std::is_enum<Result>::value, "ToInt takes a typed result");
  return static_cast<int>(r);
}

template <typename Result>
constexpr bool Failed(Result r) {
  return r != Result::kOk;
}

// "file(line): expr failed: kName", for whoever listens to the debugger channel. It allocates
// nothing and keeps the thread's last-error value, which some callers leave their result in.
inline void ReportFailure(const char* file, int line, const char* expr, const char* name) {
#ifdef _WIN32
  char text[512];
  std::snprintf(text, sizeof(text), "%s(%d): %s failed: %s\n", file, line, expr, name);
  const unsigned long error = ::GetLastError();
  ::OutputDebugStringA(text);
  ::SetLastError(error);
#else
  (void)file, (void)line, (void)expr, (void)name;
#endif
}

}  // namespace qm

#define QM_RETURN_IF_FAILED(expr)                                               \
  do {                                                                          \
    const auto qm_result_ = (expr);                                             \
    if (::qm::Failed(qm_result_)) {                                             \
      ::qm::ReportFailure(__FILE__, __LINE__, #expr, ResultName(qm_result_)); \
      return qm_result_;                                                        \
    }                                                                           \
  } while (0)

#endif  // QM_BASE_RESULT_H_
