// The colours of Vell's views, light or dark. The application decides which
// (from "--appearance" or the desktop palette) and hands one Theme to the views.
#pragma once

#include <QColor>
#include <QObject>

class Theme : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool dark READ dark NOTIFY changed FINAL)
    Q_PROPERTY(QColor accent READ accent NOTIFY changed FINAL)
    Q_PROPERTY(QColor onAccent READ onAccent NOTIFY changed FINAL)
    Q_PROPERTY(QColor ok READ ok NOTIFY changed FINAL)
    Q_PROPERTY(QColor bad READ bad NOTIFY changed FINAL)
    // Text and strokes: primary, and the quieter secondary and tertiary styles.
    Q_PROPERTY(QColor primary READ primary NOTIFY changed FINAL)
    Q_PROPERTY(QColor secondary READ secondary NOTIFY changed FINAL)
    Q_PROPERTY(QColor tertiary READ tertiary NOTIFY changed FINAL)
    // The window background that glass surfaces are tinted with.
    Q_PROPERTY(QColor windowBackground READ windowBackground NOTIFY changed FINAL)
public:
    explicit Theme(bool dark, QObject* parent = nullptr);

    bool dark() const { return dark_; }
    void setDark(bool dark);

    QColor accent() const;
    QColor onAccent() const;
    QColor ok() const { return accent(); }
    QColor bad() const;
    QColor primary() const;
    QColor secondary() const;
    QColor tertiary() const;
    QColor windowBackground() const;

Q_SIGNALS:
    void changed();

private:
    bool dark_;
};
