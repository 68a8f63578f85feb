#pragma once

// The texts the core shows the operator (notices, reasons, status captions) are written in
// Japanese, the console's own language, and pass through coreText on their way out. Without a
// translator every text is returned exactly as written; the program installs one at start when
// the operator's language is another, and the core stays free of the toolkit that translates.
//
// Texts are looked up by a context (the part of the program that shows them) and the Japanese
// text itself. A text that carries figures names them %1, %2, ... and gets them from fillIn, so
// that a translation may put them in another order.
//
// RELM_TEXT_NOOP marks a text that is kept in a constant and translated where it is shown; the
// translation tools read it, and it yields the text unchanged.

#include <functional>
#include <initializer_list>
#include <string>

#define RELM_TEXT_NOOP(context, text) text

namespace relm {

using TextTranslator = std::function<std::string(const char *context, const char *text)>;

// Installs the translator every later coreText uses; an empty one restores the Japanese.
// Called once at start, before any text is made.
void setTextTranslator(TextTranslator translator);

// The text as the operator reads it.
std::string coreText(const char *context, const char *text);

// The text with %1 .. %9 replaced by the arguments, in one pass: a figure that itself contains
// "%2" is not replaced again. A marker without an argument is left as it stands.
std::string fillIn(const std::string &text, std::initializer_list<std::string> arguments);

} // namespace relm
