#pragma once
// Messages show numbers with the user's decimal separator.

class QLocale;

namespace morvik {

// Takes the message decimal separator from a locale; a separator that is not a single
// ASCII character leaves the point.
void UseLocaleDecimalSeparator(const QLocale& locale);

} // namespace morvik
