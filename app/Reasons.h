// Why a run was refused, why an item failed, what went wrong with the settings
// file: one kind per reason, with its text in each language of the programs
// (pagetailor-batch speaks English, the desktop program Chinese), all in one
// table. A new reason is one enumeration value and one row of that table.
#pragma once

#include "Common/VellErrors.h"
#include "imaging/VellGDIPAPI.h"

#include <QString>
#include <QStringList>
#include <QVector>

enum class TLanguage : quint8 { English, Chinese };

enum class TReasonKind : quint8 {
  None,
  // A run refused before anything is written.
  NoSourceFolder,
  NoTargetFolder,
  TargetIsAFile,
  TargetIsSource,
  TargetInsideSource,
  SourceInsideTarget,
  NoTiffEncoder,
  // An item that was skipped or failed; the run goes on.
  FileGone,
  OutsideSourceFolder,
  UnspellableName,
  PathTooLong,
  CannotOpenFile,
  NotARegularFile,
  TargetReplacesSource,
  CannotCreateFolder,
  CannotReadImage,
  CannotWriteTarget,
  CannotMoveIntoPlace,
  CannotFlush,
  FolderNotFlushed,
  NotEnoughMemory,
  UnexpectedError,
  // The settings file.
  SettingsUnreadable,
  SettingsUnreadableNotKept,
  SettingsNotSaved,
};

// A reason: its kind and the values its texts name. In a text, %1 to %9 stand
// for the arguments, %s for the imaging status and %e for the system's error
// number in the text's language; a
// text may leave out what its readers need not see (the English details of a
// library, or the failed file's path where the summary names it already).
struct TReason {
  TReasonKind Kind = TReasonKind::None;
  QStringList Args;
  GpStatus Status = Ok;
  int SystemError = 0; // errno

  TReason() = default;
  TReason(TReasonKind kind, QStringList args = {}, GpStatus status = Ok)
      : Kind(kind), Args(std::move(args)), Status(status) {}
  // The reason with the system's error number that caused it.
  TReason WithSystemError(int error) const {
    TReason reason = *this;
    reason.SystemError = error;
    return reason;
  }

  bool IsNone() const { return Kind == TReasonKind::None; }
  // Empty for no reason.
  QString Text(TLanguage language) const;
  QString English() const { return Text(TLanguage::English); }
  // The reason told with another text of its kind (a language file's, say).
  QString TextFrom(const QString &format, TLanguage language) const;

  bool operator==(const TReason &) const = default;
};

// An error that stops a whole run, with its reason; the message is the English text.
class EReasonError : public EInOutError {
public:
  explicit EReasonError(const TReason &reason) : EInOutError(reason.English()), FReason(reason) {}
  const TReason &Reason() const { return FReason; }

private:
  TReason FReason;
};

// The kind's name in the code ("NoSourceFolder"), for keys and tests.
QString ReasonKindName(TReasonKind kind);
// The kind's text with its placeholders, as the table holds it.
QString ReasonFormat(TReasonKind kind, TLanguage language);
// The imaging service's status in words.
QString StatusText(GpStatus status, TLanguage language);
// The system's error number (errno) in words.
QString SystemErrorText(int error, TLanguage language);

// Every kind except None, in declaration order.
QVector<TReasonKind> AllReasonKinds();
