#pragma once
/// The About window.

#include <QDialog>

class QLabel;

namespace norvane::app {

/// Product name, home page address and mail line on the active-caption colour. Created once
/// by the main window and shown again on every About.
class TAboutWnd : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutWnd(QWidget* parent = nullptr);
    /// The session the window is talking to ("not logged on" when empty).
    void setSessionText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Closes the window (the picture area and the product name).
    void Image1Click();
    /// Opens the home page; the window stays open.
    void Label3Click();

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* lbSession;
};

} // namespace norvane::app
