#pragma once
// Qt hands work from one thread to another (a queued or blocking call, an event) through locks of its
// own that a thread checker cannot see into, since Qt is not built for it. Where our code hands data
// over that way, these marks tell the checker what Qt guarantees: everything the giving thread did
// before HandOver(Token) happens before what the taking thread does after TakeOver(Token). Without
// the checker they cost nothing.
#if defined(__SANITIZE_THREAD__)
#define QB_THREAD_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QB_THREAD_CHECKER 1
#endif
#endif

#ifdef QB_THREAD_CHECKER
extern "C" void __tsan_acquire(void* Address);
extern "C" void __tsan_release(void* Address);
inline void HandOver(const void* Token)
{
    __tsan_release(const_cast<void*>(Token));
}
inline void TakeOver(const void* Token)
{
    __tsan_acquire(const_cast<void*>(Token));
}
#else
inline void HandOver(const void*) { }
inline void TakeOver(const void*) { }
#endif
