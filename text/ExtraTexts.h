#pragma once

#include <QString>
#include <array>

// The program's own messages, beyond the 92 entries of the UI text file (whose layout stored
// files rely on). They live in a second file of the same format beside it, with English and
// French sections, and are matched by key, so new messages can be added without moving any.
//
// Adding a message: add its key to V770_EXTRA_TEXT_KEYS and a line for it in both sections
// of data/V770UIText_Extra_v12.txt. A %1, %2 ... in a text is filled with QString::arg.
#define V770_EXTRA_TEXT_KEYS(X) \
  X(UNIT_NO_ANSWER)             \
  X(POI_TOO_MANY_ROWS)          \
  X(POI_TOO_MANY_RECORDS)       \
  X(RESET_NOT_A_PACKAGE)        \
  X(ZIPLIST_NAME_OUTSIDE)       \
  X(ZIPLIST_NAME_EMPTY)         \
  X(DOWNLOAD_WRITE_FAILED)      \
  X(DOWNLOAD_START_FAILED)      \
  X(DOWNLOAD_ABORTED)           \
  X(UNZIP_UNKNOWN_ERROR)        \
  X(CLI_DESCRIPTION)            \
  X(CLI_HELP_STATUS)            \
  X(CLI_HELP_UPDATE)            \
  X(CLI_HELP_RECOVER)           \
  X(CLI_HELP_SPEED_UNIT)        \
  X(CLI_HELP_POI_READ)          \
  X(CLI_HELP_POI_WRITE)         \
  X(CLI_HELP_POI_ERASE)         \
  X(CLI_OPTION_JSON)            \
  X(CLI_OPTION_FORCE)           \
  X(CLI_OPTION_AREA)            \
  X(CLI_OPTION_VOICE)           \
  X(CLI_OPTION_MANUAL)          \
  X(CLI_OPTION_DRY_RUN)         \
  X(CLI_OPTION_DOWNLOAD)        \
  X(CLI_OPTION_OUTPUT)          \
  X(CLI_OPTION_FORMAT)          \
  X(CLI_USAGE)                  \
  X(CLI_NO_COMMAND)             \
  X(CLI_UNKNOWN_COMMAND)        \
  X(CLI_WRONG_ARGUMENTS)        \
  X(CLI_OPTION_NOT_FOR)         \
  X(CLI_MANUAL_ALONE)           \
  X(CLI_UNKNOWN_NAME)           \
  X(CLI_SPEED_UNIT_VALUE)       \
  X(CLI_POI_FORMAT_UNKNOWN)     \
  X(CLI_POI_BAD_LINE)           \
  X(CLI_POI_READ)               \
  X(CLI_POI_WRITTEN)            \
  X(CLI_POI_ERASED)             \
  X(CLI_DRY_RUN_PACKAGE)        \
  X(CLI_HELP_USAGE)             \
  X(CLI_HELP_OPTIONS)           \
  X(CLI_OPTION_HELP)            \
  X(INSTANCE_NOT_ANSWERING)     \
  X(BANNER_OFFLINE_TAGLINE)     \
  X(CLOSE_DURING_TRANSFER)      \
  X(POI_FILE_NOT_READ)          \
  X(POI_CONVERSION_FAILED)      \
  X(UNIT_AREA_UNKNOWN)          \
  X(POI_EXPORT_BUTTON)          \
  X(POI_EXPORT_CAPTION)         \
  X(POI_FILTER_ALL)             \
  X(POI_FILTER_TEXT)            \
  X(POI_FILTER_GPX)             \
  X(POI_FILTER_KML)             \
  X(POI_FILTER_CSV)             \
  X(POI_FILTER_ANY)             \
  X(POI_IMPORT_REPORT)          \
  X(POI_FILE_FOREIGN)           \
  X(POI_FILE_MALFORMED)         \
  X(POI_EXPORT_BAD_ROW)         \
  X(POI_EXPORT_FAILED)          \
  X(POI_EXPORT_REPLACE)        \
  X(POI_IMPORT_NO_ROOM)         \
  X(POI_IMPORT_UNDATED)         \
  X(CLI_POI_FILE_NOT_READ)      \
  X(CLI_POI_FILE_FOREIGN)       \
  X(CLI_POI_FILE_MALFORMED)     \
  X(CLI_POI_IMPORT_REPORT)      \
  X(CLI_POI_NO_POI)             \
  X(CLI_POI_TOO_MANY)           \
  X(CLI_POI_UNIT_KEPT)          \
  X(POI_UNIT_NOT_KEPT)      \
  X(POI_SAVE_NOT_KEPT)      \
  X(PATH_IS_LINK)               \
  X(UPDATE_PACKAGE_NOT_ON_SERVER) \
  X(UPDATE_DB_NOT_TAKEN)        \
  X(UPDATE_VOICE_NOT_TAKEN)     \
  X(UPDATE_FW_NOT_TAKEN)        \
  X(UPDATE_CHECKING_UNIT)       \
  X(DOWNLOAD_DISK_FULL) \
  X(DOWNLOAD_NO_PERMISSION) \
  X(DOWNLOAD_NO_FOLDER) \
  X(DOWNLOAD_WRITE_ERROR) \
  X(UPDATE_SERVER_REFUSED) \
  X(UPDATE_UNIT_NOT_CHECKED) \
  X(UPDATE_NO_FILE_DB) \
  X(UPDATE_NO_FILE_VOICE) \
  X(UPDATE_NO_FILE_FW) \
  X(CLI_UNIT_IN_USE)            \
  X(RESET_FILE_NOT_TAKEN)       \
  X(RESET_UNIT_FIRMWARE)        \
  X(RESET_NO_FILE_CHOSEN)       \
  X(SPEED_UNIT_NOT_CHOSEN)      \
  X(CLI_SPEED_UNIT_SET)         \
  X(CLI_SPEED_UNIT_SET_HERE)    \
  X(CLI_FILE_MISSING)           \
  X(WORKING_FOLDER)             \
  X(CLI_UNKNOWN_OPTION)         \
  X(CLI_OPTION_NEEDS_VALUE)     \
  X(CLI_OPTION_TAKES_NO_VALUE)  \
  X(CLI_PACK_MISSING)           \
  X(CLI_POI_NOT_IN_FORMAT)      \
  X(INSTANCE_COMMAND_LINE)      \
  X(UNZIP_STOPPED)              \
  X(UNZIP_OK)                   \
  X(UNZIP_NO_FILE)              \
  X(UNZIP_NOT_ZIP)              \
  X(UNZIP_NOT_OPEN)             \
  X(UNZIP_NO_ITEM)              \
  X(UNZIP_ENCRYPTED)            \
  X(UNZIP_READ_FAILED)          \
  X(UNZIP_WRITE_FAILED)         \
  X(UNZIP_UNSAFE_NAME)

enum class ExtraTextId : int {
#define V770_EXTRA_TEXT_ENUM(key) key,
  V770_EXTRA_TEXT_KEYS(V770_EXTRA_TEXT_ENUM)
#undef V770_EXTRA_TEXT_ENUM
};

inline constexpr const char* kExtraTextFileName = "V770UIText_Extra_v12.txt";
inline constexpr int kExtraTextCount = 0
#define V770_EXTRA_TEXT_COUNT(key) +1
    V770_EXTRA_TEXT_KEYS(V770_EXTRA_TEXT_COUNT)
#undef V770_EXTRA_TEXT_COUNT
    ;

// Texts by language (index = language - 1, English and French) and message.
using ExtraTextTable = std::array<std::array<QString, kExtraTextCount>, 2>;

// The key of a message as the file spells it ("UNIT_NO_ANSWER").
QString ExtraTextKey(ExtraTextId id);

// Reads the extra text file; lines of unknown keys are skipped, a key missing from the file
// stays empty. FALSE when the file cannot be opened.
bool ReadExtraTextFile(const QString& path, ExtraTextTable& table);

// The program-wide table, loaded once at start-up, and the language its texts are given in.
bool LoadExtraTexts(const QString& path);
void SetExtraTextLanguage(int nLanguage);

// The message in the current language; the English one where that language lacks it, and
// the key itself when the file held neither, so a message is never blank.
QString ExtraText(ExtraTextId id);
