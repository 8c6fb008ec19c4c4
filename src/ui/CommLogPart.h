#pragma once
// What the parts of a command log window share: what they read of the log, and how they give their
// controls names and hints.
#include "cmdtext/CommLogHistory.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <cstdint>
#include <functional>

struct TCommandFields;
struct TLogOptions;

// The log's kept packets and how their lines read; the log outlives its parts.
struct TLogSource {
    const TLogHistory& History;
    // The options the lines are written with now.
    std::function<TLogOptions()> Options;
    // The field table of an identifier for the log's device; may be null.
    std::function<const TCommandFields*(int32_t ID)> Fields;
};

inline QAction* AddLogItem(QMenu* Menu, const QString& Name, const QString& Text) {
    QAction* a = Menu->addAction(Text);
    a->setObjectName(Name);
    return a;
}

inline void LogHint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
