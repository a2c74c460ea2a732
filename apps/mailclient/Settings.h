#pragma once

#include <QDialog>

class QCheckBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class CPopClient;

// "Server Setup": server, account, password, the attachment directory and unique names.
class TfrmSettings final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSettings(QWidget* parent = nullptr);

    // Fills the dialog from the client's values (FormShow).
    void Load(const CPopClient& client);
    // Copies the dialog's values to the client (after Save).
    void Store(CPopClient& client) const;
    QString Directory() const;
    void SetDirectory(const QString& path);

private:
    void btnAttachClick();
    void btnOkClick();

    QLineEdit* m_edServer;
    QLineEdit* m_edAccount;
    QLineEdit* m_edPassword;
    QCheckBox* m_chkUnique;
    QLabel* m_lblAttachDir;
    QPushButton* m_btnAttach;
    QWidget* m_setup;
    QGroupBox* m_ChooseAttachDir;
    QFileSystemModel* m_model;
    QTreeView* m_Dir;
    QString m_directory;
};
