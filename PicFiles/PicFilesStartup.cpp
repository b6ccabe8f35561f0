#include "PicFiles/PicFilesStartup.h"

#include "PicFiles/BasePicFormat.h"
#include "PicFiles/BmpFormat.h"
#include "PicFiles/DcxFormat.h"
#include "PicFiles/GifFormat.h"
#include "PicFiles/JpgFormat.h"
#include "PicFiles/PcxFormat.h"
#include "PicFiles/PngFormat.h"
#include "PicFiles/PpmFormat.h"
#include "PicFiles/PsdFormat.h"
#include "PicFiles/TgaFormat.h"
#include "PicFiles/TiffFormat.h"
#include "PicFiles/VellPicAttrs.h"
#include "PicFiles/WmfFormat.h"

namespace {

// The formats in registration order: TBmpFormat, TJpgFormat, TGifFormat,
// TTiffFormat, TWmfFormat, TTgaFormat, TPcxFormat, TPpmFormat, TPsdFormat,
// TDcxFormat, TPngFormat. Each format adds its line at its place.
void RegisterPicFormatClasses() {
  RegisterPicFormat(TBmpFormat::StaticClass());
  RegisterPicFormat(TJpgFormat::StaticClass());
  RegisterPicFormat(TGifFormat::StaticClass());
  RegisterPicFormat(TTiffFormat::StaticClass());
  RegisterPicFormat(TWmfFormat::StaticClass());
  RegisterPicFormat(TTgaFormat::StaticClass());
  RegisterPicFormat(TPcxFormat::StaticClass());
  RegisterPicFormat(TPpmFormat::StaticClass());
  RegisterPicFormat(TPsdFormat::StaticClass());
  RegisterPicFormat(TDcxFormat::StaticClass());
  RegisterPicFormat(TPngFormat::StaticClass());
}

} // namespace

void PicFilesStartup() {
  RegisterPicAttrClasses();
  RegisterPicFormatClasses();
}

void PicFilesShutdown() {
  TPicFormatClassList::Free();
  TVellPicAttrClassList::Free();
}
