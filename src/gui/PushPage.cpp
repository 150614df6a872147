#include "gui/PushPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/push/PushChannel.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"

namespace tovi::gui {
namespace {

QLineEdit* labelledEdit(QGridLayout* grid, int row, int column, const QString& label, const char* name,
                        const QString& hint, QWidget* parent, int span = 1) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setPlaceholderText(hint);
    auto* caption = new QLabel(label, parent);
    caption->setBuddy(edit);
    edit->setAccessibleName(
        QString(label).remove(QLatin1Char('&')).remove(QLatin1Char(':')).remove(QStringLiteral("：")));
    grid->addWidget(caption, row, column);
    grid->addWidget(edit, row, column + 1, 1, span);
    return edit;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromUtf8(name));
    b->setAccessibleName(text);
    return b;
}

}  // namespace

PushPage::PushPage(Database& db, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_db(db), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("推送页"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_table = new QTableWidget(0, 7, this);
    m_table->setObjectName(QStringLiteral("推送渠道列表"));
    m_table->setAccessibleName(QStringLiteral("推送渠道"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("地址"), QStringLiteral("方案"),
         QStringLiteral("事件"), QStringLiteral("待发"), QStringLiteral("状态")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto* grid = new QGridLayout;
    m_url = labelledEdit(
        grid, 0, 0, QStringLiteral("推送地址："), "推送地址",
        QStringLiteral("例如 ntfy://ntfy.sh/主题、tgram://令牌/聊天ID、dingtalk://令牌/密钥"), this, 3);
    m_name = labelledEdit(grid, 1, 0, QStringLiteral("名称："), "推送名称", QStringLiteral("可不填"), this);
    m_plans =
        labelledEdit(grid, 1, 2, QStringLiteral("方案："), "推送方案", QStringLiteral("全部，或 1,3"), this);
    m_quiet = labelledEdit(grid, 2, 0, QStringLiteral("免打扰："), "免打扰时段",
                           QStringLiteral("例如 22:00-07:00"), this);
    m_newArticles = new QCheckBox(QStringLiteral("新文章"), this);
    m_newArticles->setObjectName(QStringLiteral("推送新文章事件"));
    m_newArticles->setChecked(true);
    m_health = new QCheckBox(QStringLiteral("方案故障与恢复"), this);
    m_health->setObjectName(QStringLiteral("推送方案健康"));
    m_health->setChecked(true);
    auto* events = new QHBoxLayout;
    events->addWidget(m_newArticles);
    events->addWidget(m_health);
    grid->addLayout(events, 2, 2, 1, 2);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    auto* add = button(QStringLiteral("添加"), "推送添加", this);
    m_test = button(QStringLiteral("发送测试消息"), "推送测试", this);
    auto* remove = button(QStringLiteral("删除"), "推送删除", this);
    buttons->addWidget(add);
    buttons->addWidget(m_test);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("推送结果"));
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_result);
    connect(add, &QPushButton::clicked, this, &PushPage::addChannel);
    connect(m_url, &QLineEdit::returnPressed, this, &PushPage::addChannel);
    connect(m_test, &QPushButton::clicked, this, &PushPage::testChannel);
    connect(remove, &QPushButton::clicked, this, &PushPage::removeChannel);
    m_testCall = std::make_unique<BackgroundCall<PushTestResult>>(
        this,
        [this](const PushTestResult& r) {
            m_test->setEnabled(true);
            m_result->setText(
                (r.accepted ? QStringLiteral("测试消息已送达：") : QStringLiteral("测试消息未送达：")) +
                q(r.answer));
        },
        [this](const QString& error) {
            m_test->setEnabled(true);
            m_result->setText(QStringLiteral("测试消息未送达：") + error);
        });
    fillChannels();
}

void PushPage::fillChannels() {
    const std::vector<PushChannel> channels = loadPushChannels(m_db);
    m_table->setRowCount(static_cast<int>(channels.size()));
    for (int row = 0; row < static_cast<int>(channels.size()); ++row) {
        const PushChannel& c = channels[static_cast<std::size_t>(row)];
        const QString state = !c.note.empty() ? q(c.note) : QStringLiteral("正常");
        const QStringList cells = {QString::number(c.id),
                                   q(c.name),
                                   q(maskedPushUrl(c.url)),
                                   c.plans.empty() ? QStringLiteral("全部") : QString::fromStdString(c.plans),
                                   QString::fromStdString(pushEventsText(c.events)),
                                   QString::number(c.waiting),
                                   state};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_table->resizeColumnsToContents();
}

void PushPage::addChannel() {
    PushChannel c;
    c.url = m_url->text().trimmed().toStdString();
    c.name = g(m_name->text().trimmed());
    c.plans = m_plans->text().trimmed().toStdString();
    c.quiet = m_quiet->text().trimmed().toStdString();
    c.events =
        (m_newArticles->isChecked() ? kPushNewArticles : 0) | (m_health->isChecked() ? kPushHealth : 0);
    Result<std::int64_t> id = addPushChannel(m_db, c);
    if (!id) {
        m_dialogs.show(this, q(id.error()), QStringLiteral("推送地址有误"), QMessageBox::Warning);
        m_url->setFocus();
        return;
    }
    m_result->setText(QStringLiteral("已添加推送渠道 %1。可以点“发送测试消息”试一下。").arg(*id));
    m_url->clear();
    m_name->clear();
    fillChannels();
    m_table->selectRow(m_table->rowCount() - 1);
}

std::optional<PushChannel> PushPage::selectedChannel() {
    const int row = m_table->currentRow();
    if (row < 0 || !m_table->item(row, 0)) {
        m_dialogs.show(this, QStringLiteral("请先在列表中选中一个推送渠道"));
        return std::nullopt;
    }
    return loadPushChannel(m_db, m_table->item(row, 0)->text().toLongLong());
}

void PushPage::testChannel() {
    if (m_testCall->running()) return;
    const auto channel = selectedChannel();
    if (!channel) return;
    m_test->setEnabled(false);
    m_result->setText(QStringLiteral("正在发送测试消息……"));
    m_testCall->start([c = *channel](const CancelCheck& cancelled) {
        PushFlushOptions options;
        options.cancel = cancelled;
        return sendTestPush(c, options);
    });
}

void PushPage::removeChannel() {
    const auto channel = selectedChannel();
    if (!channel) return;
    if (!m_dialogs.ask(this,
                       QStringLiteral("删除推送渠道 %1（%2）？等待发给它的 %3 条消息也一并删除。")
                           .arg(channel->id)
                           .arg(q(channel->name))
                           .arg(channel->waiting),
                       QStringLiteral("删除推送渠道？")))
        return;
    if (Result<> removed = removePushChannel(m_db, channel->id); !removed)
        m_dialogs.show(this, q(removed.error()), QString(), QMessageBox::Warning);
    fillChannels();
}

}  // namespace tovi::gui
