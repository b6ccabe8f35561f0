// The pixel size of an image file, read from its header only.
#pragma once

#include <QSize>
#include <QString>

// Width and height of the file's first image as shown (upright), read by the
// imaging service from the header; an invalid size when the
// file is no image this program reads. The file's page count goes to
// pageCount when given.
QSize ReadImageSize(const QString &fileName, int *pageCount = nullptr);
