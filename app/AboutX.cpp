#include "AboutX.h"

#include "Guard.h"
#include "ImageList.h"
#include "Shell.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

namespace norvane::app {

namespace {
QFont pixelFont(const QString& family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                  QPoint pos)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::yellow);
    label->setPalette(pal);
    label->adjustSize();
    label->move(pos);
    return label;
}
} // namespace

TAboutWnd::TAboutWnd(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("AboutWnd"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(ImageList::appIcon());
    setFixedSize(322, 199);
    setFont(QFont(QStringLiteral("Courier New")));

    // The window's own colour is the title bar's: the platform's active highlight.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Active, QPalette::Highlight));
    setPalette(pal);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 322, 199);

    const QString courier = QStringLiteral("Courier New");
    Label1 = makeLabel(this, "Label1", QStringLiteral("Norvane"),
                       pixelFont(QStringLiteral("Century"), 21, true), {8, 16});
    Label3 = makeLabel(this, "Label3", QString::fromLatin1(kHomePage), pixelFont(courier, 13, true),
                       {16, 72});
    Label3->setCursor(Qt::PointingHandCursor);
    Label4 = makeLabel(this, "Label4", QStringLiteral("mail to"), pixelFont(courier, 13, true),
                       {16, 96});

    lbSession = new QLabel(this);
    lbSession->setObjectName(QStringLiteral("lbSession"));
    lbSession->setFont(pixelFont(courier, 11, false));
    lbSession->setWordWrap(true);
    QPalette sessionPalette = lbSession->palette();
    sessionPalette.setColor(QPalette::WindowText, Qt::yellow);
    lbSession->setPalette(sessionPalette);
    lbSession->setGeometry(16, 124, 296, 64);
    setSessionText(QString());

    for (QLabel* label : {Image1, Label1, Label3})
        label->installEventFilter(this);
}

bool TAboutWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Image1 || watched == Label1) {
            runGuarded(this, [this] { Image1Click(); });
            return true;
        }
        if (watched == Label3) {
            runGuarded(this, [this] { Label3Click(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutWnd::setSessionText(const QString& text)
{
    lbSession->setText(text.isEmpty() ? QStringLiteral("Not logged on")
                                      : QStringLiteral("Session: ") + text);
}

void TAboutWnd::Image1Click()
{
    reject();
}

void TAboutWnd::Label3Click()
{
    openHomePage();
}

} // namespace norvane::app
