#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace TestSupport {

// Unsets the proxy variables Qt honours, so test traffic goes straight to the fakes.
void unsetProxies();

// Answers the next modal dialog when it appears: calls answer(dialog), which should
// close it. A fail-safe rejects any modal still open after timeoutMs.
void answerNextModal(std::function<void(QWidget *)> answer, int timeoutMs = 5000);

// Waits until the modal dialog is gone (or timeoutMs) and returns its last text, if any.
QString lastModalText();

} // namespace TestSupport
