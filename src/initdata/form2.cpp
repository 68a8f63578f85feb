#include "initdata/form2.h"

#include "widgets/ui_units.h"
#include "widgets/up_down.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>

namespace relm {

namespace {

// Layout in twips: the dialog's client area, the columns on the window, and the rows inside a
// frame (row i at kRowTop + kRowPitch * i, measured from the frame's top edge).
constexpr int kClientWidth = 5865;
constexpr int kClientHeight = 3345;
constexpr int kFrameTop = 600;
constexpr int kFrameHeight = 2295;
constexpr int kRowTop = 360;
constexpr int kRowPitch = 600;
constexpr int kRowHeight = 375;
constexpr std::array<int, 3> kLabel1Top{960, 1680, 2280};
constexpr std::array<int, 3> kLabel1Width{495, 375, 375};

constexpr int rowTop(int train)
{
    return kRowTop + kRowPitch * train;
}

// 12-point "ＭＳ Ｐゴシック" where it is installed, otherwise the closest Japanese gothic we find
// (proportional ones first, as the captions were set in a proportional face).
QFont labelFont()
{
    static const QStringList preferred{
        QStringLiteral("ＭＳ Ｐゴシック"),    QStringLiteral("MS PGothic"),
        QStringLiteral("IPAPGothic"),         QStringLiteral("VL PGothic"),
        QStringLiteral("TakaoPGothic"),       QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("Source Han Sans JP"), QStringLiteral("IPAexGothic"),
        QStringLiteral("IPAGothic"),          QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Droid Sans Fallback")};
    const QStringList installed = QFontDatabase::families();
    QFont font;
    for (const QString &family : preferred) {
        if (installed.contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPointSize(12);
    return font;
}

// A substitute face may set the caption wider than the designed label; narrow the glyphs until it
// fits rather than cut the caption or let it run into the frame beside it.
void fitCaption(QLabel *label)
{
    QFont font = label->font();
    const int needed = QFontMetrics(font).horizontalAdvance(label->text());
    if (needed > label->width() && needed > 0) {
        font.setStretch(std::max(50, 100 * label->width() / needed));
        label->setFont(font);
    }
}

QLabel *valueDisplay(QWidget *frame, int train)
{
    auto *label = new QLabel(frame);
    label->setGeometry(twipsRect(120, rowTop(train), 495, kRowHeight));
    label->setFont(labelFont());
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, toQColor(kCaptionTextColour));
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

UpDown *spinner(QWidget *frame, int train, int maximum, QLabel *buddy)
{
    auto *upDown = new UpDown(frame);
    upDown->setGeometry(twipsRect(600, rowTop(train), 240, kRowHeight));
    upDown->setRange(0, maximum);
    upDown->setSingleStep(1);
    upDown->setWrapping(false);
    upDown->setBuddy(buddy);
    return upDown;
}

QCheckBox *checkBox(QWidget *frame, int train, int width, const QString &caption)
{
    auto *box = new QCheckBox(caption, frame);
    box->setGeometry(twipsRect(240, rowTop(train), width, kRowHeight));
    return box;
}

QGroupBox *frame(QWidget *parent, const QString &caption, int left, int width)
{
    auto *box = new QGroupBox(caption, parent);
    box->setGeometry(twipsRect(left, kFrameTop, width, kFrameHeight));
    return box;
}

void showSaveError(QWidget *dialog, const QString &text)
{
    QMessageBox::warning(dialog, dialog->windowTitle(), text);
}

} // namespace

Form2::Form2(const QString &path, QWidget *parent)
    : QDialog(parent)
    , m_path(path)
    , m_reportSaveError(showSaveError)
{
    createControls();
    load();

    // Buttons; the close box and Escape reject, like Cancel.
    connect(Command1, &QPushButton::clicked, this, &Form2::save);
    connect(Command2, &QPushButton::clicked, this, &Form2::reject);
}

int Form2::openModal(QWidget *parent, const QString &path)
{
    Form2 dialog(path, parent);
    return dialog.exec();
}

void Form2::createControls()
{
    setWindowTitle(tr("初期データ設定"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));

    const std::array<QString, 3> rowNames{tr("Ｘ："), tr("Ｙ："), tr("Ｚ：")};
    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<std::size_t>(i);
        Label1[k] = new QLabel(rowNames[k], this);
        Label1[k]->setFont(labelFont());
        Label1[k]->setGeometry(twipsRect(240, kLabel1Top[k], kLabel1Width[k], 255));
        fitCaption(Label1[k]);
    }

    Frame4 = frame(this, tr("運転"), 600, 735);
    Frame1 = frame(this, tr("路線"), 1560, 975);
    Frame2 = frame(this, tr("区間"), 2640, 975);
    Frame3 = frame(this, tr("逆転"), 3720, 735);

    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<std::size_t>(i);
        Check2[k] = checkBox(Frame4, i, 375, QString());
        Label2[k] = valueDisplay(Frame1, i);
        UpDown1[k] = spinner(Frame1, i, kIniFieldMax[0], Label2[k]);
        Label3[k] = valueDisplay(Frame2, i);
        UpDown2[k] = spinner(Frame2, i, kIniFieldMax[1], Label3[k]);
        Check1[k] = checkBox(Frame3, i, 255, tr("　"));
    }

    Command1 = new QPushButton(tr("ＯＫ"), this);
    Command1->setGeometry(twipsRect(4680, 600, 975, 495));
    Command2 = new QPushButton(tr("キャンセル"), this);
    Command2->setGeometry(twipsRect(4680, 2400, 975, 495));

    // Keyboard focus goes row by row across the columns, then to the buttons.
    QWidget *previous = nullptr;
    for (std::size_t k = 0; k < 3; ++k) {
        for (QWidget *w :
             std::initializer_list<QWidget *>{Check2[k], UpDown1[k], UpDown2[k], Check1[k]}) {
            if (previous != nullptr)
                setTabOrder(previous, w);
            previous = w;
        }
    }
    setTabOrder(previous, Command1);
    setTabOrder(Command1, Command2);
}

void Form2::load()
{
    // A missing, unreadable or oversized file shows zeros; a short one shows what it has.
    IniValues read;
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.read(static_cast<qint64>(kMaxIniFileBytes) + 1);
        if (bytes.size() <= static_cast<qsizetype>(kMaxIniFileBytes))
            read = parseIni(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    setValues(dialogValues(read));
}

void Form2::setValues(const IniValueArray &values)
{
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t at = k * kIniValuesPerTrain;
        UpDown1[k]->setValue(values[at + static_cast<std::size_t>(IniField::Route)]);
        UpDown2[k]->setValue(values[at + static_cast<std::size_t>(IniField::Section)]);
        Check1[k]->setChecked(values[at + static_cast<std::size_t>(IniField::Reverse)] != 0);
        Check2[k]->setChecked(values[at + static_cast<std::size_t>(IniField::Run)] != 0);
    }
}

IniValueArray Form2::currentValues() const
{
    IniValueArray values{};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t at = k * kIniValuesPerTrain;
        values[at + static_cast<std::size_t>(IniField::Route)] = UpDown1[k]->value();
        values[at + static_cast<std::size_t>(IniField::Section)] = UpDown2[k]->value();
        values[at + static_cast<std::size_t>(IniField::Reverse)] = Check1[k]->isChecked() ? 1 : 0;
        values[at + static_cast<std::size_t>(IniField::Run)] = Check2[k]->isChecked() ? 1 : 0;
    }
    return values;
}

void Form2::save()
{
    // Written to a temporary file beside atc.ini and put in its place only when complete, so a
    // failed save leaves the old file as it was and the dialog open with the operator's values.
    const std::string bytes = formatIni(currentValues());
    QSaveFile file(m_path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
               static_cast<qint64>(bytes.size())) {
        reason = file.errorString();
        file.cancelWriting();
    } else if (!file.commit()) {
        reason = file.errorString();
    }
    if (reason.isEmpty()) {
        accept();
        return;
    }
    const QString name = QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath());
    if (m_reportSaveError)
        m_reportSaveError(this, tr("初期データを保存できませんでした。\n"
                                   "ファイル: %1\n理由: %2")
                                    .arg(name, reason));
}

} // namespace relm
