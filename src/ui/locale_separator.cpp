#include "ui/locale_separator.hpp"

#include <QLocale>
#include <QString>

#include "common/format.hpp"

namespace morvik {

void UseLocaleDecimalSeparator(const QLocale& locale) {
  const QString point = locale.decimalPoint();
  const bool ascii = point.size() == 1 && point.front().unicode() > 0x20 && point.front().unicode() < 0x7F;
  SetMessageDecimalSeparator(ascii ? point.front().toLatin1() : '.');
}

} // namespace morvik
