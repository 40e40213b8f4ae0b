#pragma once
// A folder tree over the fixture namespace, shown offscreen, with its change events
// recorded, and helpers to wait for the event loop and to find items by label.

#include "Components/PkgFolder/FolderTree.h"
#include "tests/platform/shell/ShellFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable failure messages for labels.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class FolderTreeTestBase : public ::testing::Test {
  protected:
    // The fixture's folders below `base` (empty: the usual temporary folder).
    explicit FolderTreeTestBase(const std::string& base = {}) : fx(base) {}
    void MakeTree(const std::function<void(TFolderTree&)>& configure = {}) {
        tree = std::make_unique<TFolderTree>(nullptr, space ? space : fx.SharedSpace());
        if (configure)
            configure(*tree);
        QObject::connect(tree.get(), &TFolderTree::OnChange,
                         [this](TFolderTree*, HTREEITEM item) { changes.push_back(item); });
        QObject::connect(tree.get(), &TFolderTree::OnExpanded,
                         [this](TFolderTree*, HTREEITEM item) { expansions.push_back(item); });
        tree->resize(300, 400);
        tree->show();
    }

    // Runs the event loop until `done` holds (false when it never does within the limit).
    static bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < limitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
        return done();
    }
    // Runs the event loop for a while, to see that nothing more arrives.
    static void Settle(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
    }
    // The delay has passed since the last selection: what it would report has arrived.
    void SettleSelection() { Settle(tree->ChangeDelay() + 300); }

    HTREEITEM Child(HTREEITEM parent, const QString& text) const {
        for (HTREEITEM c = tree->GetFirstChild(parent); c; c = tree->GetNextSibling(c)) {
            if (tree->GetItemText(c) == text)
                return c;
        }
        return 0;
    }
    std::vector<QString> ChildTexts(HTREEITEM parent) const {
        std::vector<QString> texts;
        for (HTREEITEM c = tree->GetFirstChild(parent); c; c = tree->GetNextSibling(c))
            texts.push_back(tree->GetItemText(c));
        return texts;
    }
    // The model row that shows item, walking the handles' rows down from the top.
    QModelIndex IndexOf(HTREEITEM item) const {
        std::vector<int> rows;
        for (HTREEITEM i = item; i; i = tree->GetParentItem(i)) {
            const HTREEITEM parent = tree->GetParentItem(i);
            int row = 0;
            for (HTREEITEM s = parent ? tree->GetFirstChild(parent) : tree->GetRootItem(); s != i;
                 s = tree->GetNextSibling(s))
                ++row;
            rows.insert(rows.begin(), row);
        }
        QModelIndex index;
        for (int row : rows)
            index = tree->model()->index(row, 0, index);
        return index;
    }
    std::string PathOf(HTREEITEM item) const {
        const TVITEMDATA* data = tree->GetItemData(item);
        return data ? PidlToPath(fx.Space(), data->absolute.Get()) : std::string();
    }
    QString Q(const std::string& text) const { return QString::fromStdString(text); }

    shelltest::ShellFixture fx;
    SNamespacePtr space;                // the fixture's own namespace when null
    std::unique_ptr<TFolderTree> tree;  // destroyed before the namespace it shows
    std::vector<HTREEITEM> changes;
    std::vector<HTREEITEM> expansions;
};
