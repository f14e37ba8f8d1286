// What the HUD's QML binds to: the session model's fields as properties, the
// texts HUDText decides, the view's own hover and chooser state with its
// delayed steps, and the four actions back to the controller.
#pragma once

#include "ControllerPorts.h"
#include "HUDItems.h"
#include "Scheduler.h"
#include "SessionModel.h"

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariantList>

#include <memory>

class HUDViewModel : public QObject {
    Q_OBJECT
    // "idle", "live", "sending", "delivering", "sent" or "failed".
    Q_PROPERTY(QString phase READ phase NOTIFY phaseChanged FINAL)
    Q_PROPERTY(QString failureMessage READ failureMessage NOTIFY phaseChanged FINAL)
    Q_PROPERTY(QString failureDetail READ failureDetail NOTIFY phaseChanged FINAL)
    Q_PROPERTY(bool fixable READ fixable NOTIFY fixableChanged FINAL)
    Q_PROPERTY(QString sendingText READ sendingText NOTIFY destinationChanged FINAL)
    Q_PROPERTY(QString sentText READ sentText NOTIFY sentTextChanged FINAL)

    Q_PROPERTY(double level READ level NOTIFY levelChanged FINAL)
    Q_PROPERTY(bool listening READ listening NOTIFY transcriptChanged FINAL)
    Q_PROPERTY(QString transcriptText READ transcriptText NOTIFY transcriptChanged FINAL)
    // "failure", "placeholder" or "speech".
    Q_PROPERTY(QString transcriptStyle READ transcriptStyle NOTIFY transcriptChanged FINAL)

    Q_PROPERTY(HUDItems* items READ items CONSTANT FINAL)
    Q_PROPERTY(bool hasItems READ hasItems NOTIFY itemsChanged FINAL)

    Q_PROPERTY(QString chipGlyph READ chipGlyph NOTIFY targetChanged FINAL)
    Q_PROPERTY(QString chipTitle READ chipTitle NOTIFY targetChanged FINAL)
    Q_PROPERTY(QString chipTooltip READ chipTooltip NOTIFY targetChanged FINAL)
    Q_PROPERTY(bool chipExpanded READ chipExpanded NOTIFY hoverChanged FINAL)
    Q_PROPERTY(bool chipNatural READ chipNatural NOTIFY chipNaturalChanged FINAL)
    Q_PROPERTY(int targetPulse READ targetPulse NOTIFY targetPulseChanged FINAL)
    Q_PROPERTY(bool flash READ flash NOTIFY flashChanged FINAL)

    // Rows of {title, on}; the new-chat row is separate.
    Q_PROPERTY(QVariantList chooserRows READ chooserRows NOTIFY chooserChanged FINAL)
    Q_PROPERTY(QString newChatTitle READ newChatTitle NOTIFY chooserChanged FINAL)
    Q_PROPERTY(bool newChatOn READ newChatOn NOTIFY chooserChanged FINAL)
    // Empty when there is no footer.
    Q_PROPERTY(QString chooserFooter READ chooserFooter NOTIFY chooserChanged FINAL)

    Q_PROPERTY(QString triggerSymbol READ triggerSymbol NOTIFY triggerSymbolChanged FINAL)
    Q_PROPERTY(bool chooseFlag READ chooseFlag CONSTANT FINAL)
    Q_PROPERTY(bool hintFlag READ hintFlag CONSTANT FINAL)

    Q_PROPERTY(bool choosing READ choosing NOTIFY hoverChanged FINAL)
    Q_PROPERTY(bool chooserVisible READ chooserVisible NOTIFY hoverChanged FINAL)
    Q_PROPERTY(bool hintVisible READ hintVisible NOTIFY hoverChanged FINAL)
    Q_PROPERTY(QString hovered READ hovered NOTIFY hoverChanged FINAL)
    Q_PROPERTY(bool previewVisible READ previewVisible NOTIFY hoverChanged FINAL)
    Q_PROPERTY(bool previewShot READ previewShot NOTIFY hoverChanged FINAL)
    Q_PROPERTY(QString previewImage READ previewImage NOTIFY hoverChanged FINAL)
    Q_PROPERTY(QSize previewImageSize READ previewImageSize NOTIFY hoverChanged FINAL)
    Q_PROPERTY(QString previewText READ previewText NOTIFY hoverChanged FINAL)
    Q_PROPERTY(QString previewCaption READ previewCaption NOTIFY hoverChanged FINAL)

    // Glass surfaces are translucent only where a compositor blends them.
    Q_PROPERTY(bool translucent READ translucent NOTIFY translucentChanged FINAL)

public:
    HUDViewModel(SessionModel& model, HUDActions actions, Scheduler& scheduler, QString triggerSymbol,
                 const QStringList& arguments, QObject* parent = nullptr);

    QString phase() const;
    QString failureMessage() const;
    QString failureDetail() const;
    bool fixable() const { return model_.fixable(); }
    QString sendingText() const;
    QString sentText() const;
    double level() const { return model_.level(); }
    bool listening() const { return model_.mic().kind == Mic::Kind::listening; }
    QString transcriptText() const;
    QString transcriptStyle() const;
    HUDItems* items() { return &items_; }
    bool hasItems() const { return !model_.items().isEmpty(); }
    QString chipGlyph() const;
    QString chipTitle() const;
    QString chipTooltip() const;
    bool chipExpanded() const { return pillHover_ || choosing_; }
    bool chipNatural() const;
    int targetPulse() const { return model_.targetPulse(); }
    bool flash() const { return flash_; }
    QVariantList chooserRows() const;
    QString newChatTitle() const;
    bool newChatOn() const { return !model_.target().has_value(); }
    QString chooserFooter() const;
    QString triggerSymbol() const { return triggerSymbol_; }
    // The key hint follows a change of the trigger key in the settings.
    void setTriggerSymbol(const QString& symbol);
    bool chooseFlag() const { return chooseFlag_; }
    bool hintFlag() const { return hintFlag_; }
    bool choosing() const { return choosing_; }
    bool chooserVisible() const;
    bool hintVisible() const;
    QString hovered() const;
    bool previewVisible() const;
    bool previewShot() const;
    QString previewImage() const;
    QSize previewImageSize() const;
    QString previewText() const;
    QString previewCaption() const;
    bool translucent() const { return translucent_; }
    void setTranslucent(bool translucent);

    // Actions: thumbnails' remove badge, "Add window", "Fix it", a chooser row (-1 is the new chat).
    Q_INVOKABLE void remove(const QString& itemId);
    Q_INVOKABLE void add();
    Q_INVOKABLE void fix();
    Q_INVOKABLE void pick(int row);

    // Hover reports and clicks that only change what the view shows.
    Q_INVOKABLE void setPillHover(bool on);
    Q_INVOKABLE void setChipHover(bool on);
    Q_INVOKABLE void setListHover(bool on);
    Q_INVOKABLE void toggleChoosing();
    Q_INVOKABLE void enterItem(const QString& itemId);
    Q_INVOKABLE void leaveItem(const QString& itemId);

Q_SIGNALS:
    void triggerSymbolChanged();
    void phaseChanged();
    void fixableChanged();
    void destinationChanged();
    void sentTextChanged();
    void levelChanged();
    void transcriptChanged();
    void itemsChanged();
    void targetChanged();
    void chipNaturalChanged();
    void targetPulseChanged();
    void flashChanged();
    void chooserChanged();
    void hoverChanged();
    void translucentChanged();

private:
    const Item* hoveredItem() const;
    void updateChooser();
    void setChoosing(bool on);
    void onPhase();
    void onTargetPulse();

    SessionModel& model_;
    HUDActions actions_;
    Scheduler& scheduler_;
    HUDItems items_;
    QString triggerSymbol_;
    bool chooseFlag_;
    bool hintFlag_;

    bool choosing_;
    bool pillHover_ = false;
    bool chipHover_ = false;
    bool listHover_ = false;
    std::optional<QUuid> hovered_;
    bool flash_ = false;
    int lastPulse_ = 0;
    // Delayed steps hold this weakly, so none runs after the view model is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    bool translucent_ = true;
};
