// Feeds arbitrary bytes to the XML reader (as UTF-8 and as UTF-16LE), writes
// each document back, reads that again, and runs the value conversions over
// the text. Parse errors are expected; crashes, leaks and sanitizer reports
// are findings.
#include "Common/VellUtils.h"
#include "Common/VellXMLUtils.h"

#include <cstddef>
#include <cstdint>

namespace {

void ReadWriteRead(const QByteArray &bytes, const QString &encoding) {
  const IXMLDocumentPtr document = NewXMLDocument();
  document->SetEncoding(encoding);
  TMemoryStream input(bytes);
  try {
    document->LoadFromStream(&input);
  } catch (const EXMLException &) {
    // The tree read before the error stays and is written below.
  }
  TMemoryStream output;
  document->SaveToStream(&output);
  (void)document->GetDisplayText();
  if (const IXMLNodePtr root = document->GetRootNode())
    (void)root->CloneNode(true);
  output.seek(0);
  try {
    (void)LoadXMLDocument(&output);
  } catch (const EXMLException &) {
  }
}

void ConvertValues(const QString &text) {
  (void)XMLEncode(XMLDecode(text));
  (void)XMLTextToInt(text);
  (void)FloatToXMLText(XMLTextToFloat(text));
  QVariant value;
  if (XMLTextToVariant(text, value))
    (void)VariantToXMLText(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  ReadWriteRead(bytes, QStringLiteral("utf-8"));
  ReadWriteRead(bytes, QStringLiteral("utf-16"));
  ConvertValues(QString::fromLatin1(bytes));
  return 0;
}
