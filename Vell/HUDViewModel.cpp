#include "HUDViewModel.h"

#include "HUDText.h"

namespace {

constexpr auto chooserCloseDelay = fromSeconds(0.35);
constexpr auto flashLength = fromSeconds(2.4);

} // namespace

HUDViewModel::HUDViewModel(SessionModel& model, HUDActions actions, Scheduler& scheduler,
                           QString triggerSymbol, const QStringList& arguments, QObject* parent)
    : QObject(parent), model_(model), actions_(std::move(actions)), scheduler_(scheduler),
      triggerSymbol_(std::move(triggerSymbol)), chooseFlag_(arguments.contains(QStringLiteral("--choose"))),
      hintFlag_(arguments.contains(QStringLiteral("--hint"))), choosing_(chooseFlag_)
{
    items_.update(model_.items());
    lastPulse_ = model_.targetPulse();

    connect(&model_, &SessionModel::phaseChanged, this, &HUDViewModel::onPhase);
    connect(&model_, &SessionModel::fixableChanged, this, &HUDViewModel::fixableChanged);
    connect(&model_, &SessionModel::levelChanged, this, &HUDViewModel::levelChanged);
    connect(&model_, &SessionModel::micChanged, this, &HUDViewModel::transcriptChanged);
    connect(&model_, &SessionModel::transcriptChanged, this, &HUDViewModel::transcriptChanged);
    connect(&model_, &SessionModel::practiceChanged, this, &HUDViewModel::sentTextChanged);
    connect(&model_, &SessionModel::destinationChanged, this, [this] {
        Q_EMIT destinationChanged();
        Q_EMIT sentTextChanged();
        Q_EMIT chooserChanged();
    });
    connect(&model_, &SessionModel::itemsChanged, this, [this] {
        // A thumbnail that went away takes its hover (and so its preview) with it.
        if (hovered_ && !hoveredItem()) hovered_.reset();
        items_.update(model_.items());
        Q_EMIT itemsChanged();
        Q_EMIT hoverChanged();
    });
    connect(&model_, &SessionModel::targetChanged, this, [this] {
        Q_EMIT targetChanged();
        Q_EMIT chipNaturalChanged();
        Q_EMIT sentTextChanged();
        Q_EMIT chooserChanged();
    });
    connect(&model_, &SessionModel::chatsChanged, this, &HUDViewModel::chooserChanged);
    connect(&model_, &SessionModel::targetPulseChanged, this, &HUDViewModel::onTargetPulse);
}

QString HUDViewModel::phase() const
{
    return model_.phase().name();
}

QString HUDViewModel::failureMessage() const
{
    return model_.phase().is(Phase::Kind::failed) ? model_.phase().message : QString();
}

QString HUDViewModel::failureDetail() const
{
    if (!model_.phase().is(Phase::Kind::failed)) return {};
    return HUDText::failureDetail(model_.phase().message).value_or(QString());
}

QString HUDViewModel::sendingText() const
{
    return HUDText::sendingText(model_.destination().name);
}

QString HUDViewModel::sentText() const
{
    return HUDText::sentText(model_.practice(), model_.target(), model_.destination().name);
}

QString HUDViewModel::transcriptText() const
{
    return HUDText::transcriptLine(model_.mic(), model_.transcript()).text;
}

QString HUDViewModel::transcriptStyle() const
{
    switch (HUDText::transcriptLine(model_.mic(), model_.transcript()).style) {
    case HUDText::TranscriptLine::Style::failure:
        return QStringLiteral("failure");
    case HUDText::TranscriptLine::Style::placeholder:
        return QStringLiteral("placeholder");
    case HUDText::TranscriptLine::Style::speech:
        break;
    }
    return QStringLiteral("speech");
}

QString HUDViewModel::chipGlyph() const
{
    return HUDText::chipGlyph(model_.target());
}

QString HUDViewModel::chipTitle() const
{
    return HUDText::chipTitle(model_.target());
}

QString HUDViewModel::chipTooltip() const
{
    return HUDText::chipTooltip(model_.target());
}

bool HUDViewModel::chipNatural() const
{
    return HUDText::chipKeepsNaturalWidth(model_.target(), chipExpanded());
}

QVariantList HUDViewModel::chooserRows() const
{
    QVariantList rows;
    for (const ChatTarget& chat : HUDText::chooserRows(model_.target(), model_.chats()))
        rows.append(QVariantMap{{QStringLiteral("title"), chat.title},
                                {QStringLiteral("on"), HUDText::isChosen(chat, model_.target())}});
    return rows;
}

QString HUDViewModel::newChatTitle() const
{
    return HUDText::newChatTitle(model_.destination().name);
}

QString HUDViewModel::chooserFooter() const
{
    const QList<ChatTarget> rows = HUDText::chooserRows(model_.target(), model_.chats());
    return HUDText::chooserFooter(model_.chats(), rows, model_.destination().name).value_or(QString());
}

bool HUDViewModel::chooserVisible() const
{
    return model_.phase().is(Phase::Kind::live) && choosing_;
}

bool HUDViewModel::hintVisible() const
{
    return model_.phase().is(Phase::Kind::live) && !choosing_ && (pillHover_ || hintFlag_);
}

QString HUDViewModel::hovered() const
{
    return hovered_ ? hovered_->toString(QUuid::WithoutBraces) : QString();
}

const Item* HUDViewModel::hoveredItem() const
{
    if (!hovered_) return nullptr;
    for (const Item& item : model_.items())
        if (item.id == *hovered_) return &item;
    return nullptr;
}

bool HUDViewModel::previewVisible() const
{
    return model_.phase().is(Phase::Kind::live) && hoveredItem();
}

bool HUDViewModel::previewShot() const
{
    const Item* item = hoveredItem();
    return item && item->isShot();
}

QString HUDViewModel::previewImage() const
{
    const Item* item = hoveredItem();
    return item && item->isShot() ? HUDItems::imageSource(item->id) : QString();
}

QSize HUDViewModel::previewImageSize() const
{
    const Item* item = hoveredItem();
    if (!item || !item->isShot() || item->image.isNull()) return {};
    // Logical size, then fitted into 340 x 190 keeping the proportions.
    const QSizeF logical = item->image.deviceIndependentSize();
    return logical.scaled(QSizeF(340, 190), Qt::KeepAspectRatio).toSize();
}

QString HUDViewModel::previewText() const
{
    const Item* item = hoveredItem();
    return item && item->isClip() ? HUDText::firstLines(item->text) : QString();
}

QString HUDViewModel::previewCaption() const
{
    const Item* item = hoveredItem();
    return item ? HUDText::previewCaption(*item) : QString();
}

void HUDViewModel::setTranslucent(bool translucent)
{
    if (translucent == translucent_) return;
    translucent_ = translucent;
    Q_EMIT translucentChanged();
}

void HUDViewModel::remove(const QString& itemId)
{
    const QUuid id(itemId);
    hovered_.reset();
    Q_EMIT hoverChanged();
    if (actions_.remove) actions_.remove(id);
}

void HUDViewModel::add()
{
    if (actions_.add) actions_.add();
}

void HUDViewModel::fix()
{
    if (actions_.fix) actions_.fix();
}

void HUDViewModel::pick(int row)
{
    std::optional<ChatTarget> chosen;
    if (row >= 0) {
        const QList<ChatTarget> rows = HUDText::chooserRows(model_.target(), model_.chats());
        if (row >= rows.size()) return;
        chosen = rows.at(row);
    }
    if (actions_.pick) actions_.pick(chosen);
    setChoosing(false);
}

void HUDViewModel::setPillHover(bool on)
{
    if (on == pillHover_) return;
    pillHover_ = on;
    Q_EMIT hoverChanged();
    Q_EMIT chipNaturalChanged();
}

void HUDViewModel::setChipHover(bool on)
{
    chipHover_ = on;
    updateChooser();
}

void HUDViewModel::setListHover(bool on)
{
    listHover_ = on;
    updateChooser();
}

void HUDViewModel::toggleChoosing()
{
    setChoosing(!choosing_);
}

void HUDViewModel::enterItem(const QString& itemId)
{
    hovered_ = QUuid(itemId);
    Q_EMIT hoverChanged();
}

void HUDViewModel::leaveItem(const QString& itemId)
{
    // Moving straight onto the next thumbnail may report its enter first.
    if (!hovered_ || *hovered_ != QUuid(itemId)) return;
    hovered_.reset();
    Q_EMIT hoverChanged();
}

void HUDViewModel::updateChooser()
{
    if (chipHover_ || listHover_) {
        setChoosing(true);
        return;
    }
    // A short grace period lets the mouse travel from the chip into the list.
    scheduler_.schedule(chooserCloseDelay, [this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired()) return;
        if (!chipHover_ && !listHover_ && !chooseFlag_) setChoosing(false);
    });
}

void HUDViewModel::setChoosing(bool on)
{
    if (on == choosing_) return;
    choosing_ = on;
    Q_EMIT hoverChanged();
    Q_EMIT chipNaturalChanged();
}

void HUDViewModel::onPhase()
{
    if (!model_.phase().is(Phase::Kind::live)) setChoosing(false);
    Q_EMIT phaseChanged();
    Q_EMIT hoverChanged();
}

void HUDViewModel::onTargetPulse()
{
    if (model_.targetPulse() == lastPulse_) return;
    lastPulse_ = model_.targetPulse();
    flash_ = true;
    Q_EMIT flashChanged();
    Q_EMIT targetPulseChanged();
    // Never cancelled: a second change within the glow does not lengthen it.
    scheduler_.schedule(flashLength, [this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired()) return;
        flash_ = false;
        Q_EMIT flashChanged();
    });
}

void HUDViewModel::setTriggerSymbol(const QString& symbol)
{
    if (symbol == triggerSymbol_) return;
    triggerSymbol_ = symbol;
    Q_EMIT triggerSymbolChanged();
}
