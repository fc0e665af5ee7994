#include "text/FileKind.h"

#include <algorithm>

QString FileExtension(const QString& FileName)
{
    qsizetype start = FileName.lastIndexOf(u'/') + 1;
#ifdef Q_OS_WIN
    start = std::max(start, FileName.lastIndexOf(u'\\') + 1);
#endif
    const qsizetype dot = FileName.lastIndexOf(u'.');
    return dot >= start ? FileName.sliced(dot) : QString();
}

bool IsComplexDocument(const QString& FileName)
{
    QString extension = FileExtension(FileName);
    // Only A-Z: a locale's case mapping must not turn other letters into a match.
    for (QChar& c : extension)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    for (const char* known : ComplexDocumentExtensions)
        if (extension == QLatin1StringView(known))
            return true;
    return false;
}
