// The scan of a source tree into the batch: every file whose extension
// passes the TIFF extension test, depth first in name order.
#pragma once

#include "app/PTClasses.h"

#include <QDateTime>
#include <QFileInfo>
#include <QString>

// An entry whose name is no valid UTF-8: its text carries replacement
// characters and names no file, so nothing can open it by that name. The scan
// lists such files so that the run reports them.
bool HasUnspellableName(const QFileInfo &entry);

// The extensions the scan lists, as one text.
extern const QString ExtensionMaskList;

// Appends one item per matching entry in folder and, recursively, its
// subfolders; folder ends in "/". The list is not cleared. Hidden entries
// (dot-files and dot-folders) and links that lead nowhere are left out;
// entries that are no regular file (pipes, devices) are listed, so that the
// run reports them; a folder that cannot be read contributes nothing. Files
// whose names are no valid UTF-8 come after the folder's other entries.
// Folder links are followed, each real folder once, but never into avoid
// (the output folder) nor to a folder that holds folder.
void ScanFolder(TBatchItemList &list, const QString &folder, const QString &avoid = {});

// Appends one item per line of paths, each a file's path relative to folder
// (ending in "/"), in the order given; empty lines are passed over. A file
// that does not exist is listed all the same, and the run reports it. The
// reason, with the line number, when a path is absolute or leads out of the
// folder through ".."; nothing is appended then.
QString ListNamedFiles(TBatchItemList &list, const QString &folder, const QStringList &paths);

// True when the extension is not empty and occurs in the mask list as a
// substring, letter case ignored (no masks, no wildcards).
bool MatchesMaskList(const QString &maskList, const QString &extension);

// The extension of a file name: from its last "." to the end, or empty.
QString ExtractFileExt(const QString &fileName);

// Days since 1899-12-30 in local time, truncated to an even second.
TDateTime ToPackedDateTime(const QDateTime &time);
