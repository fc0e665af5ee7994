#include "settings/SettingsRecord.h"

#include <QtEndian>

namespace {

class TWriter
{
public:
    QByteArray Bytes;

    void Int32(std::int32_t Value)
    {
        char Raw[4];
        qToLittleEndian<std::int32_t>(Value, Raw);
        Bytes.append(Raw, 4);
    }
    void Color(std::uint32_t Value) { Int32(static_cast<std::int32_t>(Value)); }
    void Bool8(bool Value) { Bytes.append(char(Value ? 1 : 0)); }
    void String(const QString& Value)
    {
        Int32(std::int32_t(Value.size()));
        for (const QChar Unit : Value) {
            Bytes.append(char(Unit.unicode() & 0xFF));
            Bytes.append(char(Unit.unicode() >> 8));
        }
    }
    void Strings(const QStringList& Values)
    {
        const QStringList Kept = SoundHistory(Values);
        Int32(std::int32_t(Kept.size()));
        for (const QString& Value : Kept)
            String(Value);
    }
};

// Every read checks the bytes left first; a failed read leaves its target untouched.
class TReader
{
public:
    explicit TReader(const QByteArray& Bytes)
        : Data(Bytes.constData())
        , Left(Bytes.size())
    {
    }

    [[nodiscard]] bool Int32(std::int32_t& Value)
    {
        if (Left < 4)
            return false;
        Value = qFromLittleEndian<std::int32_t>(Data);
        Skip(4);
        return true;
    }
    [[nodiscard]] bool Color(std::uint32_t& Value)
    {
        std::int32_t Raw = 0;
        if (!Int32(Raw))
            return false;
        Value = static_cast<std::uint32_t>(Raw);
        return true;
    }
    [[nodiscard]] bool Bool8(bool& Value)
    {
        if (Left < 1)
            return false;
        Value = *Data != 0;
        Skip(1);
        return true;
    }
    // A string field whose text is wanted only when it holds 1 to MaxLength units: Value is then
    // set, otherwise the field is stepped over and Value stays empty.
    [[nodiscard]] bool StringUpTo(QString& Value, qsizetype MaxLength)
    {
        if (Left < 4)
            return false;
        const std::int32_t Count = qFromLittleEndian<std::int32_t>(Data);
        if (Count > MaxLength) {
            if (qint64(Count) * 2 > qint64(Left) - 4)
                return false;
            Skip(4 + 2 * qsizetype(Count));
            Value.clear();
            return true;
        }
        return String(Value);
    }

    [[nodiscard]] bool String(QString& Value)
    {
        std::int32_t Count = 0;
        if (Left < 4)
            return false;
        Count = qFromLittleEndian<std::int32_t>(Data);
        if (Count > 0 && qint64(Count) * 2 > qint64(Left) - 4)
            return false;   // promises more than the file holds: nothing allocated, nothing consumed
        Skip(4);
        if (Count <= 0) {
            Value.clear();
            return true;
        }
        QString Text(Count, Qt::Uninitialized);
        for (std::int32_t I = 0; I < Count; ++I)
            Text[I] = QChar(qFromLittleEndian<quint16>(Data + 2 * qsizetype(I)));
        Skip(2 * qsizetype(Count));
        Value = std::move(Text);
        return true;
    }

private:
    void Skip(qsizetype Count)
    {
        Data += Count;
        Left -= Count;
    }

    const char* Data;
    qsizetype Left;
};

}   // namespace

QStringList SoundHistory(const QStringList& Entries)
{
    QStringList Kept;
    for (const QString& Entry : Entries) {
        if (Kept.size() == MaxStoredHistoryEntries)
            break;
        if (!Entry.isEmpty() && Entry.size() <= MaxHistoryEntryLength)
            Kept.append(Entry);
    }
    return Kept;
}

QByteArray EncodeSettings(const TSettingsRecord& R)
{
    TWriter W;
    W.Int32(R.Version);
    W.String(R.LeftBrowseFolder);
    W.String(R.RightBrowseFolder);
    W.Bool8(R.IgnoreWhitespace);
    W.Bool8(R.IgnoreWSAmount);
    W.Bool8(R.IgnoreLeadingWS);
    W.Bool8(R.IgnoreTrailingWS);
    W.Bool8(R.IgnoreBlankLines);
    W.Bool8(R.IgnoreCase);
    W.Bool8(R.ShowLineNumbers);
    W.Bool8(R.ShowGridLines);
    W.Color(R.FontColor);
    W.Int32(R.FontSize);
    W.String(R.FontName);
    W.Color(R.ColorAddedLines);
    W.Color(R.ColorRemovedLines);
    W.Color(R.ColorChangedLines);
    W.Color(R.ColorDifferentTextInLine);
    W.Strings(R.LeftHistory);
    W.Strings(R.RightHistory);
    W.Bool8(R.Maximized);
    W.Int32(R.Left);
    W.Int32(R.Top);
    W.Int32(R.Width);
    W.Int32(R.Height);
    W.Int32(R.ColWidth1);
    W.Int32(R.ColWidth2);
    return W.Bytes;
}

namespace {

// Reads a history: its count is one field, its entries the next. Entries are appended as they
// are read, so a list cut short keeps what was complete.
[[nodiscard]] int ReadHistory(TReader& Reader, QStringList& History, int CountField)
{
    std::int32_t Count = 0;
    if (!Reader.Int32(Count))
        return CountField - 1;
    History.clear();
    // The count is never trusted for an allocation: each entry is read from the bytes present,
    // and only those kept are held.
    for (std::int32_t I = 0; I < Count; ++I) {
        QString Entry;
        const bool Wanted = History.size() < MaxStoredHistoryEntries;
        if (!Reader.StringUpTo(Entry, Wanted ? MaxHistoryEntryLength : 0))
            return CountField;
        if (!Entry.isEmpty())
            History.append(std::move(Entry));
    }
    return CountField + 1;
}

}   // namespace

TDecodedSettings DecodeSettings(const QByteArray& Bytes, const TSettingsRecord& Defaults)
{
    TDecodedSettings Result;
    Result.Record = Defaults;
    TSettingsRecord& R = Result.Record;
    TReader Reader(Bytes);
    int& Read = Result.FieldsRead;

    // Each step reads one field; the first that fails ends the file.
    const auto Step = [&Read](bool Ok) {
        if (Ok)
            ++Read;
        return Ok;
    };
    if (!(Step(Reader.Int32(R.Version)) && Step(Reader.String(R.LeftBrowseFolder))
          && Step(Reader.String(R.RightBrowseFolder)) && Step(Reader.Bool8(R.IgnoreWhitespace))
          && Step(Reader.Bool8(R.IgnoreWSAmount)) && Step(Reader.Bool8(R.IgnoreLeadingWS))
          && Step(Reader.Bool8(R.IgnoreTrailingWS)) && Step(Reader.Bool8(R.IgnoreBlankLines))
          && Step(Reader.Bool8(R.IgnoreCase)) && Step(Reader.Bool8(R.ShowLineNumbers))
          && Step(Reader.Bool8(R.ShowGridLines)) && Step(Reader.Color(R.FontColor))
          && Step(Reader.Int32(R.FontSize)) && Step(Reader.String(R.FontName))
          && Step(Reader.Color(R.ColorAddedLines)) && Step(Reader.Color(R.ColorRemovedLines))
          && Step(Reader.Color(R.ColorChangedLines)) && Step(Reader.Color(R.ColorDifferentTextInLine))))
        return Result;

    Read = ReadHistory(Reader, R.LeftHistory, sfLeftHistoryCount);
    if (Read < sfLeftHistory)
        return Result;
    Read = ReadHistory(Reader, R.RightHistory, sfRightHistoryCount);
    if (Read < sfRightHistory)
        return Result;

    (void)(Step(Reader.Bool8(R.Maximized)) && Step(Reader.Int32(R.Left)) && Step(Reader.Int32(R.Top))
           && Step(Reader.Int32(R.Width)) && Step(Reader.Int32(R.Height)) && Step(Reader.Int32(R.ColWidth1))
           && Step(Reader.Int32(R.ColWidth2)));
    return Result;
}
