// Runs a fuzz target's entry point once on every file in the folders given
// (a missing folder holds nothing), so that the normal build replays the seeds
// and every input that once crashed or hung the target.
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  if (LLVMFuzzerInitialize)
    LLVMFuzzerInitialize(&argc, &argv);
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const QDir folder(QFile::decodeName(argv[i]));
    for (const QFileInfo &file : folder.entryInfoList(QDir::Files, QDir::Name)) {
      QFile input(file.filePath());
      if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file.filePath()));
        return 1;
      }
      const QByteArray bytes = input.readAll();
      std::printf("%s\n", qPrintable(file.filePath()));
      std::fflush(stdout);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
      ++replayed;
    }
  }
  std::printf("%d inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
