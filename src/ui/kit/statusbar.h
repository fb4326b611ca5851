#pragma once
// A classic status bar: a row of sunken panels of fixed widths, each with a
// text and an alignment.  The last panel reaches to the right edge.

#include <QString>
#include <QVector>
#include <QWidget>

class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    static constexpr int kHeight = 26;

    // Adds a panel at the right; returns its index.
    int addPanel(const QString& text, int width, Qt::Alignment alignment = Qt::AlignLeft);
    int panelCount() const { return int(panels_.size()); }

    void setPanelText(int index, const QString& text);
    QString panelText(int index) const;
    void setPanelWidth(int index, int width);
    int panelWidth(int index) const;
    void setPanelAlignment(int index, Qt::Alignment alignment);
    Qt::Alignment panelAlignment(int index) const;

    // Where a panel is drawn (the last one stretched to the right edge).
    QRect panelRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    struct Panel {
        QString text;
        int width;
        Qt::Alignment alignment;
    };
    bool valid(int index) const { return index >= 0 && index < panels_.size(); }
    QVector<Panel> panels_;
};
