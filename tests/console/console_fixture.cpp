#include "console_fixture.h"

#include "map/form3.h"

#include <QFile>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <unistd.h>

void PrintTo(const QColor &colour, std::ostream *os)
{
    *os << "rgb(" << colour.red() << "," << colour.green() << "," << colour.blue() << ")";
}

namespace relm {

void writeFile(const char *name, const QByteArray &content)
{
    QFile f(QString::fromLatin1(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

TrafficLog readLog(const char *name)
{
    std::ifstream in(name);
    return readTrafficLog(in);
}

Desk::Desk(const QString &device, const char *logName)
    : console(module, device)
    , form(std::make_unique<Form1>(console))
{
    form->setMessageReporter(
        [this](const QString &, const QString &text) { messages.push_back(text); });
    console.setProgramEnder([this](int status) { endStatus = status; });
    QString error;
    EXPECT_TRUE(console.setTrafficLog(QString::fromLatin1(logName), &error));
    EXPECT_TRUE(form->load(&error)) << error.toStdString();
    form->form3().setFailureReporter([](const QString &, const QString &) {});
}

void Form1Test::SetUp()
{
    pty.emplace();
    if (!pty->ok())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    master = pty->master();
    device = QString::fromStdString(pty->device());
    c.emplace(device, "traffic.log");
    form = c->form.get();
}

void Form1Test::TearDown()
{
    c.reset();
    pty.reset();
}

QByteArray Form1Test::written(int ms)
{
    QTest::qWait(ms);
    QByteArray out(4096, '\0');
    out.resize(std::max<qsizetype>(::read(master, out.data(), out.size()), 0));
    return out;
}

void Form1Test::send(const QByteArray &b, int ms)
{
    ASSERT_EQ(::write(master, b.constData(), static_cast<size_t>(b.size())), b.size());
    written(ms);
}

QByteArray Form1Test::transfer(const char *ini)
{
    writeFile("atctest.bin", QByteArray(100, '\x5A'));
    writeFile("atc.ini", ini);
    c->console.transfer();
    return written();
}

} // namespace relm
