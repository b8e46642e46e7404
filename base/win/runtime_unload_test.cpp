// The recorder behind CreateSemaphoreW and CloseHandle, linked into this test as into every
// binary of ours.
#include "base/win/runtime_unload.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

// Windows hands a closed handle's value out again; the recorder must not take the new handle for
// the semaphore it once recorded.
TEST(RuntimeUnload, AHandleThatReusesARecordedValueIsReallyClosed) {
  HANDLE semaphore = ::CreateSemaphoreW(nullptr, 0, 1, nullptr);
  ASSERT_NE(semaphore, nullptr);
  ASSERT_TRUE(::CloseHandle(semaphore));
  EXPECT_FALSE(IsOpen(semaphore));

  std::vector<HANDLE> events;
  HANDLE reused = nullptr;
  for (int i = 0; i < 1000 && !reused; ++i) {
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    if (event == semaphore) {
      reused = event;
    } else {
      events.push_back(event);
    }
  }
  for (HANDLE event : events) ::CloseHandle(event);
  ASSERT_NE(reused, nullptr) << "no handle took the semaphore's value again";
  EXPECT_TRUE(::CloseHandle(reused));
  EXPECT_FALSE(IsOpen(reused)) << "the new handle was reported closed but left open";
}

}  // namespace
