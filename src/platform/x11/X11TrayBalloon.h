#pragma once

#include <QRasterWindow>
#include <QTimer>

/// A notice beside the tray icon, where Pindle draws the tray: a title and a message by a warning
/// sign, for eight seconds or until it is clicked.
class X11TrayBalloon final : public QRasterWindow {
    Q_OBJECT

public:
    X11TrayBalloon();

    /// Shows the notice beside `icon` (in screen coordinates; empty: the corner of the screen that
    /// panels leave free), replacing one already shown.
    void showAt(const QRect &icon, const QString &title, const QString &message);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_title;
    QString m_message;
    QRect m_messageArea; // where the wrapped message goes, in the window
    QTimer m_shown;
};
