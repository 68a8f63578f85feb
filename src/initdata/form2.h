#pragma once

#include "initdata/ini_format.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <utility>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace relm {

class UpDown;

// The initial data dialog: shows atc.ini as one row per train (run, route, section, reverse)
// and writes it back on OK. It changes the file only, never the trains on the layout.
class Form2 final : public QDialog
{
    Q_OBJECT

public:
    // Shows a save failure to the operator; the text names the file and the reason.
    using SaveErrorReporter = std::function<void(QWidget *dialog, const QString &text)>;

    // Builds the dialog and fills it from the file at path.
    explicit Form2(const QString &path = QStringLiteral("atc.ini"), QWidget *parent = nullptr);
    Form2(const Form2 &) = delete;
    Form2 &operator=(const Form2 &) = delete;

    // Creates the dialog, loads the file, shows it modal and discards it when it closes.
    // Returns QDialog::Accepted when OK saved the file.
    static int openModal(QWidget *parent = nullptr,
                         const QString &path = QStringLiteral("atc.ini"));

    // Replaces the message box shown when OK cannot save (for tests, which must not block).
    void setSaveErrorReporter(SaveErrorReporter reporter)
    {
        m_reportSaveError = std::move(reporter);
    }

    QString path() const { return m_path; }

    // The twelve values the controls hold, in file order.
    IniValueArray currentValues() const;

    std::array<QLabel *, 3> Label1{};    // row names Ｘ：, Ｙ：, Ｚ：
    QGroupBox *Frame1 = nullptr;         // 路線 (Route) column
    QGroupBox *Frame2 = nullptr;         // 区間 (Section) column
    QGroupBox *Frame3 = nullptr;         // 逆転 (Reverse) column
    QGroupBox *Frame4 = nullptr;         // 運転 (Run) column
    std::array<QCheckBox *, 3> Check2{}; // run: on the layout, per train
    std::array<QLabel *, 3> Label2{};    // route shown, per train (written by UpDown1 only)
    std::array<UpDown *, 3> UpDown1{};   // route 0..3, per train
    std::array<QLabel *, 3> Label3{};    // section shown, per train (written by UpDown2 only)
    std::array<UpDown *, 3> UpDown2{};   // section 0..7, per train
    std::array<QCheckBox *, 3> Check1{}; // reverse direction, per train
    QPushButton *Command1 = nullptr;     // ＯＫ: save and close
    QPushButton *Command2 = nullptr;     // キャンセル: close without saving

private:
    void createControls();
    void load();
    void save();
    void setValues(const IniValueArray &values);

    QString m_path;
    SaveErrorReporter m_reportSaveError;
};

} // namespace relm
