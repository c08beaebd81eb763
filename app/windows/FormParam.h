// SPDX-License-Identifier: MIT
#pragma once

#include "resident/WindowContext.h"

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tessaly {

class MailSignInPanel;

/// The basic settings dialog. Every control is bound to one field of the
/// program's BasicSettings and writes into it at once, so the running
/// program uses an edit immediately; 更新 (Command2) writes the record to
/// sysconfig.dat. Controls carry the names of their settings (Chk_Mail,
/// Txt_SmtpSrv, ...). A text box refuses characters code page 932 lacks,
/// with a message, and keeps its previous text. ログイン時に起動する
/// (Chk_Autostart) shows and, on 更新, sets the user's autostart entry
/// (SetAutostart) rather than a field. 更新 saves nothing while a
/// box in use shows a value that cannot work (SettingValueProblem). Enter
/// saves like 更新, Escape closes the window. UI thread only.
class FormParam final : public QWidget {
    Q_OBJECT

public:
    /// Loads the dialog from `context.data.settings`; a stored interval or
    /// size that is not a number is reported while it loads. `context`
    /// must outlive the dialog.
    explicit FormParam(const WindowContext& context, QWidget* parent = nullptr);
    ~FormParam() override;

    /// Enables and disables the dependent controls from the check boxes:
    /// the password box by its check box, the mail group by Chk_Mail, the
    /// authentication fields by Chk_SmtpAuth (the password and CRAM-MD5
    /// only with password sign-in), the zip and size boxes by
    /// Chk_MailAdd and the zip password by Chk_Zip.
    void SetPropaty();
    /// The Update button (Command2): saves and reports how it went.
    void save();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// 更新 once no check run is in progress.
    void saveNow();
    /// False, after a message naming the box and the reason, when a box in
    /// use shows a value that cannot work; that box then takes the focus.
    bool valuesCanWork();
    struct FlagBinding {
        QCheckBox* box;
        std::int16_t BasicSettings::*field;
    };
    struct TextBinding {
        QLineEdit* box;
        std::string BasicSettings::*field;
        const char* caption;    ///< names the box in messages
        const char* notANumber; ///< the refusal message of a numeric box, or nullptr
    };

    QCheckBox* flag(const char* name, const QString& caption, std::int16_t BasicSettings::*field);
    /// A text box bound to `field`; `caption` names it in messages.
    QLineEdit* text(const char* name, const char* caption, std::string BasicSettings::*field, bool masked = false,
                    const char* notANumber = nullptr);
    void buildLayout();
    void fill();
    void flagClicked(const FlagBinding& binding, bool ticked);
    void textChanged(const TextBinding& binding, const QString& text);
    /// The box bound to a flag or a text of the settings.
    QCheckBox* control(std::int16_t BasicSettings::*field) const;
    QLineEdit* control(std::string BasicSettings::*field) const;
    bool ticked(std::int16_t BasicSettings::*field) const;

    WindowContext m_context;
    BasicSettings& m_settings;
    std::vector<FlagBinding> m_flags;
    std::vector<TextBinding> m_texts;
    QPushButton* m_update;
    /// How the SMTP login signs in, and the OAuth 2.0 sign-in.
    MailSignInPanel* m_signIn = nullptr;
    /// ログイン時に起動する (Chk_Autostart): the user's autostart entry,
    /// read at open and written by 更新 when changed.
    QCheckBox* m_autostart = nullptr;
    std::string m_autostartPath;
    bool m_autostartOn = false; ///< what the entry says as last read or written
};

} // namespace tessaly
