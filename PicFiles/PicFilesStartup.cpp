#include "PicFiles/PicFilesStartup.h"

#include "PicFiles/BasePicFormat.h"
#include "PicFiles/GifFormat.h"
#include "PicFiles/JpgFormat.h"
#include "PicFiles/VellPicAttrs.h"

namespace {

// The formats in registration order: TBmpFormat, TJpgFormat, TGifFormat,
// TTiffFormat, TWmfFormat, TTgaFormat, TPcxFormat, TPpmFormat, TPsdFormat,
// TDcxFormat, TPngFormat. Each format adds its line at its place.
void RegisterPicFormatClasses() {
  RegisterPicFormat(TJpgFormat::StaticClass());
  RegisterPicFormat(TGifFormat::StaticClass());
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
