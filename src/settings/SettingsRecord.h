#pragma once

// The settings record as it stands in "settings.dt": 29 fields in a fixed order, nothing between
// them, integers little-endian, strings as a count of UTF-16 code units and their UTF-16LE bytes.
// Plain functions over a plain struct, so the codec is tested and fuzzed without a window.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

inline constexpr std::int32_t SettingsFormatVersion = 1;

// Colours: 0x00BBGGRR, or 0xFF0000nn for the system colour with index nn.
inline constexpr std::uint32_t ColorWindowText = 0xFF000008;
inline constexpr std::uint32_t DefaultColorAddedLines = 0x00FFF0E0;
inline constexpr std::uint32_t DefaultColorRemovedLines = 0x00E0F0FF;
inline constexpr std::uint32_t DefaultColorChangedLines = 0x00E0E0FF;
inline constexpr std::uint32_t DefaultColorDifferentTextInLine = 0x0000FFFF;
inline constexpr const char* DefaultGridFontName = "Courier New";

// What a path history may hold, read or written: a file that promises more (a damaged or
// poisoned one) costs neither memory nor time, and the excess is not written back.
inline constexpr qsizetype MaxStoredHistoryEntries = 100;
inline constexpr qsizetype MaxHistoryEntryLength = 4096;

// A history as it is kept: empty entries and entries longer than MaxHistoryEntryLength dropped,
// then at most MaxStoredHistoryEntries, in order.
[[nodiscard]] QStringList SoundHistory(const QStringList& Entries);

struct TSettingsRecord
{
    std::int32_t Version = SettingsFormatVersion;
    QString LeftBrowseFolder;
    QString RightBrowseFolder;
    bool IgnoreWhitespace = false;
    bool IgnoreWSAmount = false;
    bool IgnoreLeadingWS = false;
    bool IgnoreTrailingWS = false;
    bool IgnoreBlankLines = false;
    bool IgnoreCase = false;
    bool ShowLineNumbers = true;
    bool ShowGridLines = true;
    std::uint32_t FontColor = ColorWindowText;
    std::int32_t FontSize = 11;
    QString FontName = QString::fromLatin1(DefaultGridFontName);
    std::uint32_t ColorAddedLines = DefaultColorAddedLines;
    std::uint32_t ColorRemovedLines = DefaultColorRemovedLines;
    std::uint32_t ColorChangedLines = DefaultColorChangedLines;
    std::uint32_t ColorDifferentTextInLine = DefaultColorDifferentTextInLine;
    QStringList LeftHistory;
    QStringList RightHistory;
    bool Maximized = false;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t ColWidth1 = 432;
    std::int32_t ColWidth2 = 573;

    friend bool operator==(const TSettingsRecord&, const TSettingsRecord&) = default;
};

// The fields in file order, numbered as in the file (1-based). A history is one field for its
// count and one for its entries.
enum TSettingsField : int {
    sfVersion = 1,
    sfLeftBrowseFolder,
    sfRightBrowseFolder,
    sfIgnoreWhitespace,
    sfIgnoreWSAmount,
    sfIgnoreLeadingWS,
    sfIgnoreTrailingWS,
    sfIgnoreBlankLines,
    sfIgnoreCase,
    sfShowLineNumbers,
    sfShowGridLines,
    sfFontColor,
    sfFontSize,
    sfFontName,
    sfColorAddedLines,
    sfColorRemovedLines,
    sfColorChangedLines,
    sfColorDifferentTextInLine,
    sfLeftHistoryCount,
    sfLeftHistory,
    sfRightHistoryCount,
    sfRightHistory,
    sfMaximized,
    sfLeft,
    sfTop,
    sfWidth,
    sfHeight,
    sfColWidth1,
    sfColWidth2,
};
inline constexpr int SettingsFieldCount = sfColWidth2;

// What a file gave: the fields before the first one that could not be read are filled in, the
// rest keep the struct's defaults. A history cut short holds the entries that were complete.
struct TDecodedSettings
{
    TSettingsRecord Record;
    int FieldsRead = 0;   // complete fields, in file order; SettingsFieldCount for a whole file

    [[nodiscard]] bool Has(TSettingsField Field) const { return FieldsRead >= Field; }
    [[nodiscard]] bool Complete() const { return FieldsRead == SettingsFieldCount; }
};

[[nodiscard]] QByteArray EncodeSettings(const TSettingsRecord& Record);

// Reads Bytes from the start and stops at the first field that cannot be read, never raising.
// Any version is read as this one; a string count is checked against the bytes left before
// anything is allocated; a negative string count is the empty string, a negative history count
// no entries; a history keeps what SoundHistory keeps, and the entries it drops are stepped over
// without being held; a Bool8 other than 0 is on; bytes after the last field are ignored.
// Defaults is what the fields that were not read keep. EncodeSettings writes the histories
// through SoundHistory too.
[[nodiscard]] TDecodedSettings DecodeSettings(const QByteArray& Bytes, const TSettingsRecord& Defaults = {});
