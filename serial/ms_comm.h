#pragma once

// The serial port of the program, with the property operations and the one
// event the rest of the program uses: configure it closed, open it, send text
// or bytes without waiting, and hear of received bytes through OnComm, raised
// on the thread that owns the object (the user-interface thread).

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <string_view>

namespace velmoro {

class CMSComm : public QObject {
    Q_OBJECT

public:
    explicit CMSComm(QObject* parent = nullptr);
    ~CMSComm() override;

    bool GetPortOpen() const;
    // true opens the port named by CommPort (or the device set with
    // SetDevicePath) with the settings written before; false closes it.
    // Opening can fail: the result is then false and ErrorText() says why.
    bool SetPortOpen(bool open);

    // 1 is "COM1". On Unix-like systems COMn reaches a device as
    // ComPortDevice() in port_names.h describes.
    void SetCommPort(short port) { commPort_ = port; }
    short GetCommPort() const { return commPort_; }
    // A device path that takes the place of CommPort (empty: use CommPort).
    void SetDevicePath(const QString& path) { devicePath_ = path; }

    // "baud,parity,data bits,stop bits", such as "115200,n,8,1". Returns
    // false, changing nothing, for a text it does not understand.
    bool SetSettings(const QString& settings);
    void SetRThreshold(short threshold) { rThreshold_ = threshold; }
    void SetInputMode(int mode) { inputMode_ = mode; }
    void SetInputLen(short length) { inputLen_ = length; }
    void SetOutBufferSize(short size) { outBufferSize_ = size; }

    // Queue bytes to go out after everything sent before; returns at once.
    void SetOutput(const QByteArray& bytes);
    // Text goes out as its 8-bit codes, nothing added.
    void SetOutput(std::string_view text);

    // Every byte received and not yet taken, oldest first (at most InputLen
    // when that is not 0).
    QByteArray GetInput();
    short GetCommEvent() const { return commEvent_; }

    // The description of the last opening failure or loss of the port.
    QString ErrorText() const { return errorText_; }
    // The device the port was last opened on (or tried).
    QString DeviceName() const { return deviceName_; }
    // Bytes handed to SetOutput since the port was opened.
    qint64 BytesSent() const { return bytesSent_; }

signals:
    // Something to report in CommEvent: received bytes (2), or the loss of
    // the port while open (kCommEventPortLost).
    void OnComm();

private:
    void HandleReadyRead();
    void HandleError(QSerialPort::SerialPortError error);
    void RequestLowLatency();

    QSerialPort port_;
    short commPort_ = 1;
    QString devicePath_;
    qint32 baudRate_ = 9600;
    QSerialPort::Parity parity_ = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits_ = QSerialPort::Data8;
    QSerialPort::StopBits stopBits_ = QSerialPort::OneStop;
    short rThreshold_ = 0;
    int inputMode_ = 0;
    short inputLen_ = 0;
    short outBufferSize_ = 512;
    short commEvent_ = 0;
    QString errorText_;
    QString deviceName_;
    qint64 bytesSent_ = 0;
};

}  // namespace velmoro
