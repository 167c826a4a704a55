#include "app/CAppStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>

namespace
{
// A standard icon of the style, asked of it when first painted, measured or
// asked for a pixmap; from then on it is that icon.
class CLateStandardIconEngine : public QIconEngine
{
public:
    CLateStandardIconEngine(QStyle* style, QStyle::StandardPixmap which)
        : m_style(style), m_which(which)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Icon().pixmap(size, 1.0, mode, state);
    }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Icon().actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return Icon().availableSizes(mode, state);
    }

    bool isNull() override { return m_loaded ? m_icon.isNull() : m_style.isNull(); }

    QString key() const override { return QStringLiteral("CLateStandardIconEngine"); }

    QIconEngine* clone() const override { return new CLateStandardIconEngine(*this); }

private:
    CLateStandardIconEngine(const CLateStandardIconEngine&) = default;

    const QIcon& Icon()
    {
        if (!m_loaded)
        {
            m_loaded = true;
            if (m_style)
                m_icon = m_style->standardIcon(m_which);
        }
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QIcon m_icon;
    bool m_loaded = false;
};

class CAppProxyStyle : public QProxyStyle
{
public:
    CAppProxyStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override
    {
        // Without an option the icon depends on nothing that could change
        // until it is drawn.
        if (!option && (which == SP_ToolBarHorizontalExtensionButton ||
                        which == SP_ToolBarVerticalExtensionButton))
            return QIcon(new CLateStandardIconEngine(baseStyle(), which));
        return QProxyStyle::standardIcon(which, option, widget);
    }
};
} // namespace

QStyle* CAppStyle::Create()
{
    return new CAppProxyStyle();
}
