// The window's file pickers, the output folder's Browse, the text logo's
// font and colour, and the preview window it opens.

#include "ui/form1.h"
#include "ui/qt_text.h"
#include "ui/preview_window.h"
#include "window/window_rules.h"

#include <QColor>
#include <QDir>
#include <QLineEdit>
#include <QPalette>

#include <exception>

namespace ui {

void Form1::pickFile(const char *filter, const char *suffix, QString &folder, QLineEdit *box)
{
    try {
        const FileRequest request{qs(core::qtFileFilter(filter)), folder, qs(core::kOpenFileTitle), qs(suffix)};
        const QString path = m_prompter.openFileName(request);
        if (path.isEmpty())
            return;
        const std::string chosen = QDir::fromNativeSeparators(path).toStdString();
        folder = qs(core::fileFolder(chosen));
        box->setText(qs(chosen));
    } catch (const std::exception &) {
        showError(core::kNotSupportedText, core::kErrorTitle);
    }
}

void Form1::browseOutput()
{
    m_chosenFolder = m_outputText->text();
    m_prompter.chooseOutputFolder(m_chosenFolder);
    m_chosenFolder = qs(core::withTrailingSlash(m_chosenFolder.toStdString()));
    m_outputText->setText(m_chosenFolder);
}

QFont Form1::logoFont() const
{
    return m_textLogo->font();
}

void Form1::setLogoFont(const QFont &font)
{
    m_textLogo->setFont(font);
    emit shownSettingsChanged();
}

std::int32_t Form1::logoColour() const
{
    const QColor colour = m_textLogo->palette().color(QPalette::Text);
    return core::packColour(colour.red(), colour.green(), colour.blue());
}

void Form1::setLogoColour(std::int32_t colour)
{
    const core::Rgb rgb = core::unpackColour(colour);
    QPalette palette = m_textLogo->palette();
    palette.setColor(QPalette::Text, QColor(rgb.red, rgb.green, rgb.blue));
    m_textLogo->setPalette(palette);
    emit shownSettingsChanged();
}

void Form1::openPreview()
{
    if (m_previewSource == nullptr)
        return;
    if (m_preview == nullptr) {
        m_preview = new PreviewWindow(*this, *m_previewSource, this);
        connect(this, &Form1::shownSettingsChanged, m_preview, &PreviewWindow::follow);
        m_preview->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    m_preview->show();
    m_preview->raise();
    m_preview->follow();
}

// Neither dialog touches a job: a job keeps the style it was added with.
void Form1::chooseLogoFont()
{
    const auto chosen = m_prompter.chooseFont(logoFont());
    if (!chosen)
        return;
    QFont font = logoFont();
    font.setFamily(chosen->family());
    if (chosen->pointSizeF() > 0)
        font.setPointSizeF(chosen->pointSizeF());
    font.setBold(chosen->bold());
    font.setItalic(chosen->italic());
    setLogoFont(font);
}

void Form1::chooseLogoColour()
{
    const core::Rgb rgb = core::unpackColour(logoColour());
    const auto chosen = m_prompter.chooseColor(QColor(rgb.red, rgb.green, rgb.blue));
    if (chosen)
        setLogoColour(core::packColour(chosen->red(), chosen->green(), chosen->blue()));
}

void Form1::showError(const std::string &text, const char *title)
{
    m_prompter.message(qs(text), qs(title), MessageIcon::Error);
}

} // namespace ui
