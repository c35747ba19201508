// The assistant's tool calls, carried out on the open project, the radio and the tab. Every
// call is answered exactly once through handleToolResult, or the assistant's turn would hang.
#include "DeveloperWidget.h"

#include "AiAssistantWidget.h"

void DeveloperWidget::onAiToolCallRequested(const QString &toolUseId, const QString &toolName,
                                            const QJsonObject &)
{
    aiPanel->handleToolResult(toolUseId, tr("Unknown tool \"%1\".").arg(toolName), QByteArray());
}
