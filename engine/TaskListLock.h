// Holds the task list's lock (an auto-reset event, signalled when free) for
// one scope. The event is not re-entrant: never nest two of these.
#pragma once

#include <windows.h>

namespace engine {

class TaskListLock {
public:
    explicit TaskListLock(HANDLE event) : event_(event) { WaitForSingleObject(event_, INFINITE); }
    ~TaskListLock() { SetEvent(event_); }
    TaskListLock(const TaskListLock&) = delete;
    TaskListLock& operator=(const TaskListLock&) = delete;

private:
    HANDLE event_;
};

}  // namespace engine
