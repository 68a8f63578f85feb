#include "initdata/load_ini.h"

#include "model/core_text.h"
#include "model/section_code.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace relm {

namespace {

// Names the operator sees: trains by their row, fields by the dialog's column captions.
constexpr std::array<const char *, kTrainCount> kTrainNames{"X", "Y", "Z"};
constexpr std::array<const char *, kIniValuesPerTrain> kFieldNames{
    RELM_TEXT_NOOP("LoadIni", "路線"), RELM_TEXT_NOOP("LoadIni", "区間"),
    RELM_TEXT_NOOP("LoadIni", "逆転"), RELM_TEXT_NOOP("LoadIni", "運転")};

std::string fieldName(int valueIndex)
{
    return coreText("LoadIni", kFieldNames[static_cast<std::size_t>(iniField(valueIndex))]);
}

std::string trainName(int valueIndex)
{
    return kTrainNames[static_cast<std::size_t>(iniTrain(valueIndex))];
}

std::string quoted(const std::string &fileName)
{
    return fillIn(coreText("LoadIni", "「%1」"), {fileName});
}

// "Train Y and later keep their positions", or nothing when every train was loaded.
std::string untouchedNote(int firstUntouched)
{
    if (firstUntouched >= kTrainCount)
        return {};
    std::string trains = kTrainNames[static_cast<std::size_t>(firstUntouched)];
    for (int t = firstUntouched + 1; t < kTrainCount; ++t)
        trains += coreText("LoadIni", "、") + kTrainNames[static_cast<std::size_t>(t)];
    return fillIn(coreText("LoadIni", "列車 %1 の位置は変更されていません。"), {trains});
}

IniLoadResult failure(IniLoadStatus status, int valueIndex, int line, const std::string &text)
{
    IniLoadResult r;
    r.status = status;
    r.train = iniTrain(valueIndex);
    r.field = static_cast<int>(iniField(valueIndex));
    r.trainsLoaded = r.train;
    r.line = line;
    r.reason = text;
    r.message = text + untouchedNote(r.trainsLoaded);
    return r;
}

// "file, line 5, train Y route: "
std::string where(const std::string &fileName, int line, int valueIndex)
{
    if (line > 0) {
        return fillIn(
            coreText("LoadIni", "%1 %2 行目、列車 %3 の%4："),
            {quoted(fileName), std::to_string(line), trainName(valueIndex), fieldName(valueIndex)});
    }
    return fillIn(coreText("LoadIni", "%1、列車 %2 の%3："),
                  {quoted(fileName), trainName(valueIndex), fieldName(valueIndex)});
}

void placeTrain(Module1 &m, int train, int route, int section, int reverse, int run)
{
    const auto t = static_cast<std::size_t>(train);
    if (run != 1) {
        m.PosCode0[t] = m.PosCode1[t] = m.PosCode2[t] = m.PosCode3[t] = kAbsentCode;
        return;
    }
    const std::int16_t own = placedCode(route, section, reverse);
    m.PosCode0[t] = own;
    m.PosCode1[t] = stepAhead(own, section, -1);
    m.PosCode2[t] = stepAhead(own, section, 1);
    m.PosCode3[t] = stepAhead(own, section, 2);
}

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};

} // namespace

IniLoadResult applyIni(Module1 &m, const IniValues &read, const std::string &fileName)
{
    for (int train = 0; train < kTrainCount; ++train) {
        const int first = train * kIniValuesPerTrain;
        // Every value of the train must be there and in range before any register changes.
        for (int i = first; i < first + kIniValuesPerTrain; ++i) {
            if (i >= read.count) {
                if (read.stop == IniStop::NotANumber) {
                    return failure(IniLoadStatus::NotANumber, i, read.stopLine,
                                   where(fileName, read.stopLine, i) +
                                       fillIn(coreText("LoadIni", "「%1」は数値ではありません。"),
                                              {read.badText}));
                }
                return failure(
                    IniLoadStatus::EndOfFile, i, read.stopLine,
                    fillIn(coreText("LoadIni", "%1は %2 個の値で終わっています（%3 個"
                                               "必要）。列車 %4 の%5の値がありません。"),
                           {quoted(fileName), std::to_string(read.count),
                            std::to_string(kIniValueCount), trainName(i), fieldName(i)}));
            }
            const std::int32_t v = read.values[static_cast<std::size_t>(i)];
            if (v < 0 || v > iniFieldMax(i)) {
                const int line = read.lines[static_cast<std::size_t>(i)];
                return failure(IniLoadStatus::OutOfRange, i, line,
                               where(fileName, line, i) +
                                   fillIn(coreText("LoadIni", "値 %1 は範囲 0〜%2 の外です。"),
                                          {std::to_string(v), std::to_string(iniFieldMax(i))}));
            }
        }
        const auto at = [&](int k) { return read.values[static_cast<std::size_t>(first + k)]; };
        placeTrain(m, train, at(0), at(1), at(2), at(3));
    }
    IniLoadResult r;
    r.trainsLoaded = kTrainCount;
    return r;
}

IniLoadResult LoadIni(Module1 &m, const std::string &path)
{
    IniLoadResult r;
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        r.status = IniLoadStatus::CannotOpen;
        r.reason = fillIn(coreText("LoadIni", "%1を開けません（%2）。"),
                          {quoted(path), std::strerror(errno)});
        r.message = r.reason + untouchedNote(0);
        return r;
    }

    std::string bytes;
    std::array<char, 4096> chunk{};
    bool tooLarge = false;
    for (;;) {
        const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
        bytes.append(chunk.data(), n);
        if (bytes.size() > kMaxIniFileBytes) {
            tooLarge = true;
            break;
        }
        if (n < chunk.size())
            break;
    }
    if (std::ferror(file.get()) != 0) {
        r.status = IniLoadStatus::CannotRead;
        r.reason = fillIn(coreText("LoadIni", "%1を読み込めません（%2）。"),
                          {quoted(path), std::strerror(errno)});
        r.message = r.reason + untouchedNote(0);
        return r;
    }

    if (tooLarge) {
        r.status = IniLoadStatus::CannotRead;
        r.reason = fillIn(coreText("LoadIni", "%1は初期データのファイルとしては大きすぎます。"),
                          {quoted(path)});
        r.message = r.reason + untouchedNote(0);
        return r;
    }
    return applyIni(m, parseIni(bytes), path);
}

} // namespace relm
