#pragma once
// A one-line label for a text that may be wider than its place (the database
// status with the connection string): it shows the start and the end with
// "…" between them, and the whole text as its tooltip. It never asks its
// layout for more width.
#include <QLabel>

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    void SetFullText(const QString &text);
    QString FullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Elide();

    QString m_fullText;
};
