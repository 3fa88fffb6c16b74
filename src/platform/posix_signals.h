// POSIX only, and only for src/platform: the signal handler that the
// console and process calls share.
#ifndef ZT_PLATFORM_POSIX_SIGNALS_H_
#define ZT_PLATFORM_POSIX_SIGNALS_H_

namespace platform {

// Takes a signal and does nothing. A handler rather than SIG_IGN: an exec
// resets a handler to the default, so the commands run start with it.
inline void ignoreSignal(int) {}

}  // namespace platform

#endif  // ZT_PLATFORM_POSIX_SIGNALS_H_
