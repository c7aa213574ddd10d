#pragma once

#include <QString>
#include <QUrl>

// The document a window's title names, for applications that publish no
// document through accessibility. Editors put the open file's path in their
// titles: "/work/fx/notes.txt - Mousepad", "~/fx/notes.txt — Kate", or the name
// with its folder, "*notes.txt (~/fx) - gedit". Only a path of a file that
// exists counts, so a title that merely looks like a path names nothing.
//
// Reads the file system (a few existence tests), nothing else.
namespace TitleDocument {

// Titles longer than this are not searched; existence tests per title.
inline constexpr qsizetype kLongestTitle = 1024;
inline constexpr int kMostTests = 16;

// The absolute path of the existing file the title names, else empty. Of
// several paths the first in the title wins; of one path that has blanks in
// it, the longest existing reading.
QString documentPath(const QString& title);

// The folder of that file as a directory URL ("file:///work/fx/"), else empty.
QUrl documentDirectory(const QString& title);

} // namespace TitleDocument
