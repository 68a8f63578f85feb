#include "model/core_text.h"

#include <vector>

namespace relm {

namespace {

TextTranslator &installed()
{
    static TextTranslator translator;
    return translator;
}

} // namespace

void setTextTranslator(TextTranslator translator)
{
    installed() = std::move(translator);
}

std::string coreText(const char *context, const char *text)
{
    const TextTranslator &translator = installed();
    if (!translator)
        return text;
    std::string translated = translator(context, text);
    return translated.empty() ? std::string(text) : translated;
}

std::string fillIn(const std::string &text, std::initializer_list<std::string> arguments)
{
    const std::vector<std::string> args(arguments);
    std::string out;
    out.reserve(text.size() + 16 * args.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace relm
