#include "platform/CodePage.h"

// Placeholder until the text reader lands; see CurrentLocaleCodePage's contract.
namespace CodePage {
int CurrentLocaleCodePage() { return kUtf8; }
const char* CharsetName(int codePage) { return codePage == kUtf8 || codePage == kSystemAnsi ? "UTF-8" : nullptr; }
}  // namespace CodePage
