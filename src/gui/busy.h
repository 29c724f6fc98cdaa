#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QWidget;

// Long work (reading a large list) on a thread of its own, while the window
// keeps painting and takes no input; past a second, a progress window says
// what is being done.
namespace Busy
{
// Runs work, which must not touch widgets, and returns once it is done.
void run(QWidget *parent, const QString &label, const std::function<void()> &work);

template <typename T>
T result(QWidget *parent, const QString &label, const std::function<T()> &work)
{
    std::optional<T> out;
    run(parent, label, [&] { out.emplace(work()); });
    return std::move(*out);
}

// For tests: how long work runs before the progress window shows, and how
// often it has shown.
int &delayMs();
int shownCount();
} // namespace Busy
