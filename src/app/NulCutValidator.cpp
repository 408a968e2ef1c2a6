#include "NulCutValidator.h"

namespace tp {

QValidator::State NulCutValidator::validate(QString& input, int& pos) const
{
    const int nul = input.indexOf(QChar(u'\0'));
    if (nul < 0)
        return Acceptable;
    // The box held no NUL before this change, so every NUL lies in the text just inserted,
    // which ends at the cursor; a whole new text (the cursor at its start) stops at the NUL.
    const int end = pos > nul ? pos : input.size();
    input.remove(nul, end - nul);
    input.remove(QChar(u'\0'));
    pos = nul;
    return Acceptable;
}

} // namespace tp
