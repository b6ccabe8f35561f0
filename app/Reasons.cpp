#include "app/Reasons.h"

#include <QVector>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

struct TReasonRow {
  TReasonKind Kind;
  const char *Name;
  const char *English;
  const char *Chinese;
};

// The Chinese texts name the failed item's own file nowhere: the summary names
// it once in front of the reason.
constexpr TReasonRow ReasonTable[] = {
    {TReasonKind::None, "None", "", ""},
    {TReasonKind::NoSourceFolder, "NoSourceFolder", "No source folder is set.", "尚未设置源目录。"},
    {TReasonKind::NoTargetFolder, "NoTargetFolder", "No output folder is set.", "尚未设置输出目录。"},
    {TReasonKind::TargetIsAFile, "TargetIsAFile", "The output folder %1 is a file.",
     "输出目录 %1 是一个文件，不是文件夹。"},
    {TReasonKind::TargetIsSource, "TargetIsSource",
     "The output folder is the source folder: the output would replace the scans.",
     "输出目录就是源目录：输出的图像会替换原来的扫描图像。"},
    {TReasonKind::TargetInsideSource, "TargetInsideSource",
     "The output folder lies inside the source folder: the output would mix with the scans.",
     "输出目录位于源目录之内：输出的图像会和扫描图像混在一起。"},
    {TReasonKind::SourceInsideTarget, "SourceInsideTarget",
     "The source folder lies inside the output folder: each run would convert the output of the run before.",
     "源目录位于输出目录之内：每次转换都会把上一次的输出再转换一遍。"},
    {TReasonKind::NoTiffEncoder, "NoTiffEncoder", "No TIFF encoder is available.",
     "没有可用的 TIFF 编码器。"},
    {TReasonKind::FileGone, "FileGone", "The file is gone", "文件已不存在"},
    {TReasonKind::OutsideSourceFolder, "OutsideSourceFolder", "The file lies outside the source folder",
     "文件不在源目录之内"},
    {TReasonKind::UnspellableName, "UnspellableName",
     "The file name is no valid UTF-8, so the file cannot be opened; rename it",
     "文件名不是有效的 UTF-8 文本，无法打开该文件；请将它改名"},
    {TReasonKind::PathTooLong, "PathTooLong", "The path is too long to open", "路径太长，无法打开"},
    {TReasonKind::CannotOpenFile, "CannotOpenFile", "Cannot open the file: %e", "无法打开文件：%e"},
    // %1 names the kind of file in English, %2 in Chinese.
    {TReasonKind::NotARegularFile, "NotARegularFile", "Not a regular file (%1)", "不是普通文件（%2）"},
    {TReasonKind::TargetReplacesSource, "TargetReplacesSource", "The target would replace a source file",
     "输出文件会替换一个源文件"},
    {TReasonKind::CannotCreateFolder, "CannotCreateFolder", "Unable to create directory %1",
     "无法创建输出文件夹 %1"},
    {TReasonKind::CannotReadImage, "CannotReadImage", "Cannot read the image: %1", "无法读取图像：%s"},
    {TReasonKind::CannotWriteTarget, "CannotWriteTarget", "Cannot write %1: %2", "无法写入输出文件：%s"},
    {TReasonKind::CannotMoveIntoPlace, "CannotMoveIntoPlace", "Cannot move the written file into place: %e",
     "无法把写好的文件移到输出位置：%e"},
    {TReasonKind::CannotFlush, "CannotFlush", "The written file cannot be flushed to disk: %e",
     "写好的文件无法存入磁盘：%e"},
    {TReasonKind::FolderNotFlushed, "FolderNotFlushed", "The output folder cannot be flushed to disk",
     "输出文件夹无法存入磁盘，断电后输出文件可能丢失"},
    {TReasonKind::NotEnoughMemory, "NotEnoughMemory",
     "Converting the image needs about %1 MiB of working memory, more than the %2 MiB available",
     "转换该图像约需 %1 兆字节工作内存，超过可用的 %2 兆字节"},
    {TReasonKind::UnexpectedError, "UnexpectedError", "%1", "意外错误：%1"},
    {TReasonKind::SettingsUnreadable, "SettingsUnreadable",
     "The settings file \"%1\" could not be read: %2\nThe default settings are used; the file was kept as "
     "\"%3\".",
     "无法读取设置文件“%1”：%2\n现使用默认设置；原文件已保留为“%3”。"},
    {TReasonKind::SettingsUnreadableNotKept, "SettingsUnreadableNotKept",
     "The settings file \"%1\" could not be read: %2\nThe default settings are used; the file could not be "
     "kept as \"%3\".",
     "无法读取设置文件“%1”：%2\n现使用默认设置；原文件未能保留为“%3”。"},
    {TReasonKind::SettingsNotSaved, "SettingsNotSaved", "The settings could not be saved: %1",
     "无法把设置保存到“%2”：无法在该处创建或写入文件。"},
};

// Indexed by GpStatus.
constexpr const char *ChineseStatusTexts[] = {"成功",
                                              "一般错误",
                                              "参数无效",
                                              "内存不足",
                                              "对象正忙",
                                              "缓冲区不足",
                                              "功能未实现",
                                              "系统错误",
                                              "状态不对",
                                              "操作已中止",
                                              "找不到文件",
                                              "图像过大或数值超出范围",
                                              "拒绝访问",
                                              "无法识别的图像格式",
                                              "找不到字体族",
                                              "找不到字体样式",
                                              "不是 TrueType 字体",
                                              "版本不受支持",
                                              "图像服务尚未启动",
                                              "找不到属性",
                                              "不支持该属性",
                                              "找不到颜色配置文件"};

struct TSystemErrorRow {
  int Error;
  const char *Chinese;
};

constexpr TSystemErrorRow ChineseSystemErrors[] = {
    {ENOENT, "文件或文件夹不存在"},
    {EACCES, "没有权限"},
    {EPERM, "不允许该操作"},
    {EEXIST, "已有同名的文件或文件夹"},
    {ENOTDIR, "路径中有一段不是文件夹"},
    {EISDIR, "这是一个文件夹"},
    {EROFS, "该位置是只读的"},
    {ENOSPC, "磁盘空间不足"},
    {EDQUOT, "超出磁盘配额"},
    {ENAMETOOLONG, "名称太长"},
    {EIO, "输入输出错误"},
    {ENOMEM, "内存不足"},
    {EMFILE, "打开的文件太多"},
    {ENFILE, "打开的文件太多"},
    {EBUSY, "文件或设备正忙"},
    {ELOOP, "符号链接的层数太多"},
    {EFBIG, "文件太大"},
    {EXDEV, "不能跨文件系统移动"},
};

const TReasonRow &RowOf(TReasonKind kind) {
  static_assert(std::size(ReasonTable) == size_t(TReasonKind::SettingsNotSaved) + 1,
                "one row per reason kind");
  const TReasonRow &row = ReasonTable[size_t(kind)];
  Q_ASSERT(row.Kind == kind);
  return row;
}

} // namespace

QString ReasonKindName(TReasonKind kind) {
  return QString::fromLatin1(RowOf(kind).Name);
}

QString ReasonFormat(TReasonKind kind, TLanguage language) {
  const TReasonRow &row = RowOf(kind);
  return QString::fromUtf8(language == TLanguage::Chinese ? row.Chinese : row.English);
}

QString StatusText(GpStatus status, TLanguage language) {
  if (language == TLanguage::English || status < 0 || size_t(status) >= std::size(ChineseStatusTexts))
    return GdipStatusText(status);
  return QString::fromUtf8(ChineseStatusTexts[status]);
}

QString SystemErrorText(int error, TLanguage language) {
  if (language == TLanguage::English)
    return QString::fromLocal8Bit(std::strerror(error));
  for (const TSystemErrorRow &row : ChineseSystemErrors)
    if (row.Error == error)
      return QString::fromUtf8(row.Chinese);
  return QStringLiteral("系统错误 %1").arg(error);
}

QVector<TReasonKind> AllReasonKinds() {
  QVector<TReasonKind> kinds;
  for (const TReasonRow &row : ReasonTable)
    if (row.Kind != TReasonKind::None)
      kinds.append(row.Kind);
  return kinds;
}

QString TReason::Text(TLanguage language) const {
  return TextFrom(ReasonFormat(Kind, language), language);
}

QString TReason::TextFrom(const QString &format, TLanguage language) const {
  QString text;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar next = i + 1 < format.size() ? format[i + 1] : QChar();
    if (format[i] != u'%' || !(next == u's' || next == u'e' || (next >= u'1' && next <= u'9'))) {
      text += format[i];
      continue;
    }
    if (next == u's')
      text += StatusText(Status, language);
    else if (next == u'e')
      text += SystemErrorText(SystemError, language);
    else
      text += Args.value(next.digitValue() - 1);
    ++i;
  }
  return text;
}
