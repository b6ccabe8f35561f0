// Error classes of the system: one root carrying a message text, the named
// subclasses raised by the libraries, and the assertion error of failed
// preconditions.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Root of every error the system raises. what() gives the message as UTF-8.
class EVellError : public std::exception {
public:
  explicit EVellError(QString message);
  const QString &Message() const noexcept { return FMessage; }
  const char *what() const noexcept override { return FUtf8.constData(); }

private:
  QString FMessage;
  QByteArray FUtf8;
};

#define VELL_DECLARE_ERROR(Name, Base)                                                                       \
  class Name : public Base {                                                                                 \
  public:                                                                                                    \
    using Base::Base;                                                                                        \
  };

// A failed precondition: "message (module, line)".
class EAssertionFailed : public EVellError {
public:
  EAssertionFailed(const QString &message, const char *sourceFile, int line);
};

VELL_DECLARE_ERROR(EConvertError, EVellError)       // text that is not a valid value
VELL_DECLARE_ERROR(EPropertyError, EVellError)      // a member name a set type lacks
VELL_DECLARE_ERROR(EListError, EVellError)          // list index out of bounds
VELL_DECLARE_ERROR(EInOutError, EVellError)         // folder creation and similar I/O
VELL_DECLARE_ERROR(EStreamError, EVellError)        // file and stream failures
VELL_DECLARE_ERROR(EFCreateError, EStreamError)     // a file that cannot be created
VELL_DECLARE_ERROR(EFOpenError, EStreamError)       // a file that cannot be opened
VELL_DECLARE_ERROR(EDecompressionError, EVellError) // bytes that are no DEFLATE stream
VELL_DECLARE_ERROR(EAbstractError, EVellError)      // "Abstract Error": an operation a class leaves open

// The module path of a source file as written in assertion texts:
// "Common/VellClasses.cpp" gives "Common/VellClasses".
QString ModulePathOfSource(const char *sourceFile);

[[noreturn]] void RaiseAssertion(const QString &message, const char *sourceFile, int line);

// Raises EAssertionFailed "Assertion failure (module, line)" when cond is false.
#define VELL_ASSERT(cond) VELL_ASSERT_MSG(cond, QStringLiteral("Assertion failure"))
// Same, with a specific message.
#define VELL_ASSERT_MSG(cond, message)                                                                       \
  do {                                                                                                       \
    if (!(cond))                                                                                             \
      RaiseAssertion((message), __FILE__, __LINE__);                                                         \
  } while (false)
