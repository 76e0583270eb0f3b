// Linked into every program of the sanitized build (V770_SANITIZE) and nothing else.
//
// One AddressSanitizer report comes from inside Qt WebEngine, not from this program, and
// cannot be fixed here; the sanitizer has no suppression for its kind. So the programs
// carry halt_on_error=0 and every report comes here first: the known one is let through by
// name, any other ends the program at once, as it would have without this file. The
// sanitizer does not fail a program for its leaks in that mode, so the leak check at exit
// is made here.
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct KnownReport {
  const char* kind;
  const char* function;  // named on the report's stack
};

// Qt WebEngine deletes one of its own objects with another size than it was made with.
constexpr KnownReport kKnownReports[] = {{"new-delete-type-mismatch", "WebContentsAdapter"}};

constexpr int kLeakExitCode = 23;  // LeakSanitizer's own

void OnReport(const char* report) {
  for (const KnownReport& known : kKnownReports) {
    if (std::strstr(report, known.kind) && std::strstr(report, known.function)) {
      std::fprintf(stderr, "[sanitizer] known report from Qt (%s in %s) let through\n", known.kind, known.function);
      return;
    }
  }
  std::abort();
}

void CheckLeaksAtExit() {
  if (__lsan_do_recoverable_leak_check()) std::_Exit(kLeakExitCode);
}

[[maybe_unused]] const bool g_reportsRouted = [] {
  __asan_set_error_report_callback(OnReport);
  std::atexit(CheckLeaksAtExit);
  return true;
}();

}  // namespace

extern "C" const char* __asan_default_options() { return "halt_on_error=0:leak_check_at_exit=0"; }
