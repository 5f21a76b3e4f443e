// Submenus of exclusive, checkable choices for the View menu.
#pragma once

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QString>

#include <utility>
#include <vector>

// A submenu whose entries carry their values; pick(value) runs on a choice.
template <typename Pick>
QMenu* ChoiceMenu(QWidget* owner, const QString& title, const std::vector<std::pair<int, QString>>& choices, Pick pick)
{
    auto* menu = new QMenu(title, owner);
    auto* group = new QActionGroup(menu);
    for (const auto& [value, text] : choices) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setData(value);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, owner, [pick, value = value] { pick(value); });
    }
    return menu;
}

// Checks the entry of a choice menu whose value is value (none when no entry has it).
inline void CheckChoice(QMenu* menu, int value)
{
    for (QAction* action : menu->actions())
        if (action->isCheckable())
            action->setChecked(action->data().toInt() == value);
}
