// GoogleTest's Notification is built on std::mutex, which the win32 threading model of our cross
// compilers does not have. This one waits on a Win32 event instead; it is force-included before
// GoogleTest's own headers in the Windows-side test builds.
#ifndef QM_TESTS_WIN_GTEST_NOTIFICATION_H_
#define QM_TESTS_WIN_GTEST_NOTIFICATION_H_

#ifdef __cplusplus
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { ::CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { ::SetEvent(event_); }
  void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif  // __cplusplus

#endif  // QM_TESTS_WIN_GTEST_NOTIFICATION_H_
