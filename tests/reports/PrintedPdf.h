#pragma once

#include "toolkit/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

// What a print button of the query window puts on paper: the preview it opens is saved as a PDF
// through the preview's own "保存为PDF" and closed, and the PDF's text is read back line by line.
namespace printedpdf {

// Runs work on the next modal window that opens (once the event loop turns).
inline void onModal(std::function<void(QWidget*)> work)
{
    QTimer::singleShot(0, [work]() { work(QApplication::activeModalWidget()); });
}

// The non-empty lines of the PDF saved at `saved` from the preview that `press` opens, in the
// layout pdftotext gives; one line saying what went wrong when no preview opened or no text came.
inline QStringList printedLines(const std::function<void()>& press, const QString& saved)
{
    QFile::remove(saved);
    bool closed = false;
    onModal([&](QWidget* preview) {
        auto* save = preview ? preview->findChild<QAction*>(toolkit::kPreviewSavePdfAction) : nullptr;
        auto* close = preview ? preview->findChild<QAction*>(toolkit::kPreviewCloseAction) : nullptr;
        if (!save || !close)
            return;
        onModal([&](QWidget* chooser) {
            if (auto* files = qobject_cast<QFileDialog*>(chooser)) {
                files->selectFile(saved);
                QMetaObject::invokeMethod(files, "accept");
            }
        });
        save->trigger();
        close->trigger();
        closed = true;
    });
    press();
    if (!closed)
        return {QStringLiteral("the preview did not open")};
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), saved, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {QStringLiteral("pdftotext failed")};
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace printedpdf
