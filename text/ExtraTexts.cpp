#include "text/ExtraTexts.h"

#include <QHash>
#include <QMutex>
#include <atomic>

#include "text/UiTextTable.h"

namespace {

const std::array<QString, kExtraTextCount>& Keys() {
  static const std::array<QString, kExtraTextCount> keys{
#define V770_EXTRA_TEXT_NAME(key) QStringLiteral(#key),
      V770_EXTRA_TEXT_KEYS(V770_EXTRA_TEXT_NAME)
#undef V770_EXTRA_TEXT_NAME
  };
  return keys;
}

QMutex g_tableMutex;
ExtraTextTable g_table;
std::atomic<int> g_language{kLanguageEnglish};

}  // namespace

QString ExtraTextKey(ExtraTextId id) { return Keys()[static_cast<int>(id)]; }

bool ReadExtraTextFile(const QString& path, ExtraTextTable& table) {
  static const QHash<QString, int> indexOfKey = [] {
    QHash<QString, int> index;
    for (int i = 0; i < kExtraTextCount; ++i) index.insert(Keys()[i], i);
    return index;
  }();
  ExtraTextTable read;
  const bool opened = ReadLanguageSections(path, nullptr, [&](int language, const QString& line) {
    // "EN_KEY.text": the language prefix must be the section's.
    const QString prefix = QLatin1String(language == kLanguageEnglish ? "EN_" : "FR_");
    const qsizetype dot = line.indexOf(QLatin1Char('.'));
    if (!line.startsWith(prefix) || dot < 0) return;
    const auto found = indexOfKey.constFind(line.mid(prefix.size(), dot - prefix.size()));
    if (found == indexOfKey.cend()) return;
    read[language - 1][*found] = line.mid(dot + 1).trimmed();
  });
  if (opened) table = read;
  return opened;
}

bool LoadExtraTexts(const QString& path) {
  ExtraTextTable table;
  if (!ReadExtraTextFile(path, table)) return false;
  QMutexLocker lock(&g_tableMutex);
  g_table = table;
  return true;
}

void SetExtraTextLanguage(int nLanguage) { g_language = nLanguage; }

QString ExtraText(ExtraTextId id) {
  const int index = static_cast<int>(id);
  const int language = g_language == kLanguageFrench ? kLanguageFrench : kLanguageEnglish;
  QMutexLocker lock(&g_tableMutex);
  if (!g_table[language - 1][index].isEmpty()) return g_table[language - 1][index];
  if (!g_table[kLanguageEnglish - 1][index].isEmpty()) return g_table[kLanguageEnglish - 1][index];
  return Keys()[index];
}
