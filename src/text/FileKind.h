#pragma once
// Which files are complex documents whose text the Tika server extracts.

#include <QString>
#include <QStringView>

#include <array>

// The document extensions, lower case with their dot, in the order they are tested.
inline constexpr std::array<const char*, 44> ComplexDocumentExtensions = {
    ".docx", ".xlsx", ".pptx", ".doc",  ".xls",   ".ppt", ".pdf",  ".jpg",  ".jpeg",
    ".png",  ".gif",  ".bmp",  ".tif",  ".tiff",  ".webp", ".ico", ".zip",  ".rar",
    ".7z",   ".tar",  ".gz",   ".mp3",  ".wav",   ".ogg", ".flac", ".mp4",  ".avi",
    ".mkv",  ".mov",  ".exe",  ".dll",  ".bin",   ".ttf", ".otf",  ".woff", ".woff2",
    ".psd",  ".ai",   ".dwg",  ".mdb",  ".accdb", ".sqlite", ".eml", ".msg",
};

// The last component's part from its last dot on, dot included; empty without a dot.
[[nodiscard]] QString FileExtension(const QString& FileName);

// True when the name's extension, with A-Z lower-cased, is one of the document extensions.
// Looks only at the name, never at the file system.
[[nodiscard]] bool IsComplexDocument(const QString& FileName);
