// Colour reduction to an adaptive palette of at most 256 colours: Wu's
// variance-minimising box split of the colour cube, refined by k-means, then
// mapping of every pixel to its nearest palette colour, either plainly or
// with one of the error-diffusion kernels on serpentine rows.
#pragma once

#include <QImage>
#include <QList>

// The order is that of the picture library's dither modes.
enum class TDitherKernel : quint8 {
  Nearest, // no diffusion
  FloydSteinberg,
  Stucki,
  Sierra,
  JarvisJudiceNinke,
  StevensonArce,
  Burkes
};

// At most maxColors (1 to 256) colours representing image. An image with no
// more distinct opaque colours than that gets exactly those colours.
QList<QRgb> AdaptivePalette(const QImage &image, int maxColors);

// image as Format_Indexed8 over palette, each pixel the nearest palette
// colour after the kernel's diffused error is added. When transparentIndex
// is a palette index, pixels with alpha below 128 take it (and diffuse no
// error); otherwise alpha is ignored.
QImage MapToPalette(const QImage &image, const QList<QRgb> &palette, TDitherKernel kernel,
                    int transparentIndex = -1);

// image reduced to an adaptive palette of at most 256 colours. When image has
// pixels with alpha below 128, the last palette entry is transparent
// (qRgba(0, 0, 0, 0)) and those pixels take it.
QImage ReduceColors(const QImage &image, TDitherKernel kernel);
