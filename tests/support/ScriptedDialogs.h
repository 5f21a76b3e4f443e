// File dialogs for the Qt tests: they return scripted answers ("" = cancel),
// answer every question with m_bYes, and remember what they were asked and
// which failures they were shown.
#pragma once

#include <QString>
#include <QStringList>

#include "form/FileDialogs.h"

class CScriptedDialogs : public CFileDialogs {
public:
    QString GetOpenFileName(QWidget*, const QString& initialPath, const QString& filter) override
    {
        m_asked << QStringLiteral("open:") + initialPath + QStringLiteral("|") + filter;
        return Next();
    }
    QString GetSaveFileName(QWidget*, const QString& initialPath, const QString& filter) override
    {
        m_asked << QStringLiteral("save:") + initialPath + QStringLiteral("|") + filter;
        return Next();
    }
    QString GetPictureFileName(QWidget*, const QString& initialPath) override
    {
        m_asked << QStringLiteral("picture:") + initialPath;
        return Next();
    }
    // m_pictureSize, or the shown size while it is empty; false (cancel) with m_bYes false.
    bool GetPictureSize(QWidget*, QSize shown, QSize* chosen) override
    {
        m_asked << QStringLiteral("size:%1x%2").arg(shown.width()).arg(shown.height());
        *chosen = m_pictureSize.isEmpty() ? shown : m_pictureSize;
        return m_bYes;
    }
    bool AskYesNo(QWidget*, const QString& text) override
    {
        m_asked << QStringLiteral("ask:") + text;
        return m_bYes;
    }
    void ShowError(QWidget*, const QString& text) override { m_asked << QStringLiteral("error:") + text; }
    void ShowMessage(QWidget*, const QString& text) override { m_asked << QStringLiteral("message:") + text; }
    // The questions asked, without their prefix.
    QStringList Questions() const { return WithPrefix(QStringLiteral("ask:")); }
    // The failure messages shown, without their prefix.
    QStringList Errors() const { return WithPrefix(QStringLiteral("error:")); }
    QStringList Messages() const { return WithPrefix(QStringLiteral("message:")); }

    QStringList m_answers;
    QStringList m_asked;
    bool m_bYes = false;
    QSize m_pictureSize;

private:
    QStringList WithPrefix(const QString& prefix) const
    {
        QStringList q;
        for (const QString& a : m_asked)
            if (a.startsWith(prefix))
                q << a.mid(prefix.size());
        return q;
    }
    QString Next() { return m_answers.isEmpty() ? QString() : m_answers.takeFirst(); }
};
