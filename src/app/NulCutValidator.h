#pragma once
// A text box holds no NUL, as a Windows edit control: text pasted or set that holds one
// stops at its first NUL (the rest of that insertion is dropped, the box's text around it
// stays). Every input accepted so otherwise; installed on every text box of the windows.

#include <QValidator>

namespace tp {

class NulCutValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

} // namespace tp
