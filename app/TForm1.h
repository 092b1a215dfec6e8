#pragma once

#include "journal/Record.h"
#include "model/ConfigurationModel.h"
#include "printer/Plan.h"
#include "printer/PrinterConfiguration.h"
#include "serial/VaComm.h"

#include <QDate>
#include <QPointer>
#include <QString>
#include <QTime>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TUpDown;
class TVrLed;
class TVrNumEdit;

// The one window of the program. It owns every control, both timers, the two
// file dialogs, the serial port component and the configuration model, for
// the whole run. Every handler runs on the window's event thread and is
// entered through Guard, so no exception ever crosses a Qt frame.
//
// The handlers are grouped by subsystem; each group is defined in the file
// named above it.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Application shell: app/TForm1.cpp -------------------------------
    void FormCreate();
    void FormClose();
    // Enables the editor's controls and the command buttons (30 controls).
    void ena();
    // Appends one line to the activity log and keeps it in view.
    void Log(const QString& line);
    // The activity log, one entry per line.
    QStringList LogLines() const;
    // The 30 controls that a locking device operation disables.
    std::vector<QWidget*> OperationControls() const;
    void SetOperationControlsEnabled(bool enabled);
    // Runs one handler; an exception that escapes it goes to ShowError and
    // the program carries on with the next event.
    void Guard(const std::function<void()>& handler);
    // Shows an error that escaped a handler (message box with a stop icon,
    // title "Impressora", a full stop added by the rule of WithFullStop).
    // Tests replace ShowError with a recorder.
    std::function<void(const QString& text)> ShowError;
    // A full stop is added when the last character sorts after ".".
    static QString WithFullStop(const QString& text);

    // Where the controls and the data meet. ReadConfiguration gives the model
    // with the options as the option controls show them. ShowConfiguration
    // puts a configuration's band and line tables into the model (the editor
    // shows them at the next band selection) and its options into the
    // controls, as from the program: the lists and Up1 run no handler, a
    // check box runs its click handler when its state changes.
    printer::PrinterConfiguration ReadConfiguration() const;
    void ShowConfiguration(const printer::PrinterConfiguration& config);

    // Clock readings; tests fix them.
    std::function<QDate()> Today = [] { return QDate::currentDate(); };
    std::function<QTime()> TimeOfDay = [] { return QTime::currentTime(); };

    // ---- Band selection, refresh and field editors: app/TForm1Editor.cpp ---
    // The operator's band choice: copies the editor into the model for the
    // band being left, then selects the chosen band.
    void ComboBox1Change();
    // The band selection proper: loads the band chosen in ComboBox1 into the
    // editor, with Timer1 stopped meanwhile, and restarts Timer1.
    // copyEditorFirst: once a band has been selected, first copy the editor
    // into the model for the band being left, so no edit is lost.
    // presetOptionLists: on the first selection, give ComboBox8, ComboBox10,
    // ComboBox11 and ComboBox12 their first positions.
    // The operator's switch runs SelectBand(true, true).
    void SelectBand(bool copyEditorFirst, bool presetOptionLists);
    // The open command runs SelectBand(false, false): the model and the four
    // option lists were just read from the file, so nothing is copied and a
    // first selection keeps the lists as they are.
    // Copies the editor into the model for CurrentBand (one refresh step).
    void CopyEditorToModel();
    void Timer1Timer();
    void ComboBox2Click();
    void ComboBox3Click();
    void ComboBox4Click();
    void ComboBox7Click();
    void ComboBox8Click();
    void ComboBox10Click();
    void ComboBox11Click();
    void ComboBox12Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox5Click();
    void CheckBox6Click();
    void CheckBox7Click();
    void Edit1Click();
    void Edit2Click();
    void Edit3Click();
    void Edit4Click();
    void Edit1Change(); // double click on Edit1
    void Edit2Change(); // double click on Edit2
    void Edit3Change(); // double click on Edit3
    void Edit4DblClick();
    void Up1Click();
    void VrNumEdit1Click();
    void VrNumEdit2Click();

    // ---- Device operations: app/TForm1Commands.cpp ------------------------
    void Button1Click(); // "Programar"
    void Timer2Timer();
    void Button2Click(); // "Imprimir"
    void Button3Click(); // "Re Iniciar"
    void Button5Click(); // "Relógio"
    void Button6Click(); // "Config"
    void Button8Click(); // "Log"
    // One reading of the clock for "Relógio": the time of day, then the date.
    protocol::ClockFields ClockReading() const;

    // ---- Settings file: app/TForm1Settings.cpp ------------------------------
    void Button4Click(); // "Salvar"
    void Button7Click(); // "Abrir"
    void fsave();
    void load();
    // Runs a file dialog; true and the chosen full path when confirmed.
    // Tests replace it.
    std::function<bool(QFileDialog& dialog, QString& path)> ExecDialog;

    // ---- Port selection: app/TForm1Port.cpp ---------------------------------
    void ComboBox5Click();
    void ComboBox5Change();
    void VaComm1Open();
    void VaComm1Error(int errors);
    // Closes the port and puts the lamp out (a new choice, a device gone).
    void ClosePort();

    // ---- State --------------------------------------------------------------
    ConfigurationModel Model;
    TVaComm VaComm1;
    bool PortOpen = false;
    // The step of "Programar" that ran last: 0 for frame "e", 7 at the end.
    int SendStep = 0;
    QString SettingsFileName;
    // The settings file last opened or saved: where the configuration the
    // journal records came from.
    QString JournalFile;
    bool SaveRequested = false;
    // The control that had the focus when a device operation locked the
    // window; it gets the focus back when the window unlocks.
    QPointer<QWidget> FocusAtLock;
    // True from the lock of a device operation to its unlock ("Programar"
    // spans many events). Meanwhile a hang-up leaves the port open, so that
    // the next write fails with the device's own error instead of finding
    // the port closed; the port closes at the unlock (HangUpPending). A close
    // request waits for the unlock too (CloseRequested).
    bool OperationRunning = false;
    bool HangUpPending = false;
    bool CloseRequested = false;

    // ---- Controls (object name = member name) ------------------------------
    QFrame* Panel4;
    QFrame* Panel2;
    QFrame* Panel3;
    QLabel* Panel1; // busy panel "AGUARDE"

    QLabel *Label1, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9;
    QLabel *Label11, *Label12, *Label13, *Label14, *Label15, *Label16, *Label17, *Label18;
    QLabel *Label19, *Label20;

    QComboBox *ComboBox1, *ComboBox2, *ComboBox3, *ComboBox4, *ComboBox5, *ComboBox7;
    QComboBox *ComboBox8, *ComboBox10, *ComboBox11, *ComboBox12;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5, *CheckBox6, *CheckBox7;
    TUpDown* Up1;
    TVrNumEdit *VrNumEdit1, *VrNumEdit2;
    TVrLed* Led1;
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6, *Button7, *Button8;
    QPlainTextEdit* Memo1;

    QTimer* Timer1; // editor refresh, 200 ms
    QTimer* Timer2; // "Programar" steps, 500 ms
    // The open and save dialogs are built on first use: building a file
    // dialog costs more than the rest of the window together.
    QFileDialog& OpenDialog(); // Dialog1
    QFileDialog& SaveDialog(); // SaveDialog1

    // Line l (1 to 4) of the editor: its text field, style list and print flag.
    QLineEdit* LineEdit(int line) const;
    QComboBox* LineStyleBox(int line) const;
    QCheckBox* LineFlagBox(int line) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QFileDialog* Dialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    void buildControls();
    void setTabOrder();
    // Wires each subsystem's events to its handlers; each is defined beside
    // the handlers it wires.
    void ConnectEditorHandlers();    // app/TForm1Editor.cpp
    void ConnectOperationHandlers(); // app/TForm1Commands.cpp
    void ConnectSettingsHandlers();  // app/TForm1Settings.cpp
    void ConnectPortHandlers();      // app/TForm1Port.cpp
    // Runs the click handlers of the header-line and numeric fields; returns
    // true only to swallow the event (it never does: the fields need them).
    bool EditorEventFilter(QObject* watched, QEvent* event); // app/TForm1Editor.cpp

    // "Programar" and the other device buttons (app/TForm1Commands.cpp).
    printer::Plan ProgramPlan; // the plan "Programar" walks on Timer2
    void RunProgramStep();
    // The end of "Programar"; `error` when a step failed.
    void EndProgramming(const std::string* error = nullptr);
    void SendByte(uint8_t byte);
    void SendPlan(const printer::Plan& plan, const char* command, std::vector<int> bands = {},
                  bool withConfiguration = false);

    // The journal of sends (app/TForm1Journal.cpp). A device command opens a
    // record before its first frame; every byte SendByte writes goes into
    // the frame of the step under way; the command's end appends it.
    struct OpenRecord {
        journal::Record Data;
        std::chrono::steady_clock::time_point Start;
        std::vector<std::vector<uint8_t>> Frames; // of each step begun
        std::size_t Steps = 0;
    };
    std::optional<OpenRecord> Sending;
    void BeginRecord(const char* command, std::vector<int> bands, std::size_t steps,
                     bool withConfiguration);
    void RecordStep();
    // Appends the record; one log line when the journal cannot be written.
    void EndRecord(journal::Outcome::Kind what, const std::string& error = {});

    // Returns a slot that runs the handler through Guard.
    template <typename Handler> auto guarded(Handler handler) {
        return [this, handler] { Guard([this, handler] { (this->*handler)(); }); };
    }
};
