#pragma once
// Keeping the sa password out of the texts a user sees. A password shows up in a text only
// where a connection string or one of its attributes is echoed, by a driver or by us: as the
// value of a PWD= or Password= attribute, bare, in braces or in quotes. Only those values are
// replaced; the same letters elsewhere (a password "e" in "[FreeTDS][SQL Server]") stay, so
// the text is neither garbled nor does the pattern of its gaps give the password away.

#include <QString>

namespace tp {

// `text` with the value of every PWD= or Password= attribute (any case, blanks around "="
// allowed) replaced by "***". Where `password` stands there in one of the forms a connection
// string writes it (as typed, in braces with "}" doubled, in quotes with the quote doubled),
// exactly that form is replaced, even when it holds ";"; any other value ends at the closing
// brace or quote, or at ";" or the end of the line. An empty value stays empty.
QString scrubPassword(const QString& text, const QString& password);

} // namespace tp
