// pt-pen-sheets FOLDER: draws the contact sheets line-caps.png and
// dash-styles.png into FOLDER: every registered cap class and dash style,
// in registry order, drawn by the imaging service and labelled with its
// class name.
#include "geometry/VellCustomPens.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <functional>

namespace {

constexpr ARGB cInk = 0xFF1F2A44;
constexpr ARGB cWhite = 0xFFFFFFFF;

struct TSheetLayout {
  int Columns, Rows, CellWidth, CellHeight, LabelWidth;
};

// Draws one labelled cell per item; draw gets the surface and the line's
// start and end in the cell.
bool DrawSheet(const QString &fileName, const TSheetLayout &layout, const QStringList &labels,
               const std::function<void(TVellGraphics &, int, PointF, PointF)> &draw) {
  TVellBitmap sheet(layout.Columns * layout.CellWidth, layout.Rows * layout.CellHeight, PixelFormat24bppRGB);
  TVellGraphics graphics(&sheet);
  graphics.Clear(cWhite);
  graphics.SetSmoothingMode(SmoothingModeAntiAlias);
  for (int i = 0; i < labels.size(); ++i) {
    const int x = (i / layout.Rows) * layout.CellWidth, y = (i % layout.Rows) * layout.CellHeight;
    const float middle = float(y) + layout.CellHeight / 2.0f;
    draw(graphics, i, {float(x + layout.LabelWidth), middle}, {float(x + layout.CellWidth - 30), middle});
    QPainter *painter = graphics.GetHDC();
    if (!painter)
      return false;
    QFont font = painter->font();
    font.setPixelSize(13);
    painter->setFont(font);
    painter->setPen(QColor::fromRgba(cInk));
    painter->drawText(QRect(x + 10, y, layout.LabelWidth - 14, layout.CellHeight),
                      Qt::AlignVCenter | Qt::AlignLeft, labels[i]);
    graphics.ReleaseHDC(painter);
  }
  CLSID png;
  return graphics.GetLastStatus() == Ok && GetEncoderClsid(QStringLiteral("image/png"), png) >= 0 &&
         sheet.Save(fileName, png) == Ok;
}

QStringList NamesOf(const QVector<const TMetaClass *> &classes) {
  QStringList names;
  for (const TMetaClass *metaClass : classes)
    names << metaClass->ClassName();
  return names;
}

bool DrawCapSheet(const QString &fileName) {
  const TLineCapClassMgr &caps = LineCapClasses();
  const TSheetLayout layout{3, 18, 350, 56, 170};
  return DrawSheet(fileName, layout, NamesOf(caps.Classes()),
                   [&](TVellGraphics &graphics, int index, PointF from, PointF to) {
                     const TBaseLineCap cap(caps.Items(index), 4);
                     TVellPen pen(cInk, 3);
                     pen.SetCustomEndCap(&cap);
                     graphics.DrawLine(&pen, from, to);
                   });
}

bool DrawDashSheet(const QString &fileName) {
  const TLineDashStyleClassMgr &dashes = LineDashStyleClasses();
  const TSheetLayout layout{1, dashes.Count(), 640, 30, 230};
  return DrawSheet(fileName, layout, NamesOf(dashes.Classes()),
                   [&](TVellGraphics &graphics, int index, PointF from, PointF to) {
                     TSingleDynArray pattern;
                     dashes.Items(index).GetDashPattern(pattern);
                     TVellPen pen(cInk, 2);
                     pen.SetDashPattern(pattern);
                     graphics.DrawLine(&pen, from, to);
                   });
}

} // namespace

int main(int argc, char **argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: pt-pen-sheets FOLDER\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  VellGdiplusStartup();
  RegisterLineCapClasses();
  RegisterLineDashStyleClasses();
  const bool drawn = DrawCapSheet(folder.filePath(QStringLiteral("line-caps.png"))) &&
                     DrawDashSheet(folder.filePath(QStringLiteral("dash-styles.png")));
  FreeLineCapAndDashStyleClasses();
  VellGdiplusShutdown();
  if (!drawn)
    std::fprintf(stderr, "pt-pen-sheets: the sheets could not be drawn into %s\n", argv[1]);
  return drawn ? 0 : 1;
}
