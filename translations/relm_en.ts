<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>DownloadFrame</name>
    <message>
        <source>プログラムが大きすぎるため送信しません: %1 バイト (上限 %2 バイト)</source>
        <translation>Program too large to send: %1 bytes (at most %2 bytes)</translation>
    </message>
</context>
<context>
    <name>LayoutDirectory</name>
    <message>
        <source>
--layout には atctest.bin、atc.ini、kukan.dat のあるフォルダを指定してください。</source>
        <translation>
Give --layout the folder that holds atctest.bin, atc.ini and kukan.dat.</translation>
    </message>
    <message>
        <source>レイアウトのフォルダ「%1」がありません。</source>
        <translation>The layout folder &quot;%1&quot; does not exist.</translation>
    </message>
    <message>
        <source>「%1」はフォルダではありません。</source>
        <translation>&quot;%1&quot; is not a folder.</translation>
    </message>
    <message>
        <source>レイアウトのフォルダ「%1」を開けません（アクセス権がありません）。</source>
        <translation>Cannot open the layout folder &quot;%1&quot; (permission denied).</translation>
    </message>
    <message>
        <source>レイアウトのフォルダ「%1」に %2 がありません。</source>
        <translation>The layout folder &quot;%1&quot; has no %2.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>レイアウトのフォルダ「%1」の %2 はファイルとして読めません。</source>
        <translation>%2 in the layout folder &quot;%1&quot; cannot be read as a file.</translation>
    </message>
    <message>
        <source>レイアウトのフォルダ「%1」に移れません。</source>
        <translation>Cannot change to the layout folder &quot;%1&quot;.</translation>
    </message>
</context>
<context>
    <name>LoadIni</name>
    <message>
        <source>路線</source>
        <translation>route</translation>
    </message>
    <message>
        <source>区間</source>
        <translation>section</translation>
    </message>
    <message>
        <source>逆転</source>
        <translation>reverse</translation>
    </message>
    <message>
        <source>運転</source>
        <translation>run</translation>
    </message>
    <message>
        <source>「%1」</source>
        <translation>&quot;%1&quot;</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>列車 %1 の位置は変更されていません。</source>
        <translation> The positions of train %1 are unchanged.</translation>
    </message>
    <message>
        <source>%1 %2 行目、列車 %3 の%4：</source>
        <translation>%1 line %2, train %3 %4: </translation>
    </message>
    <message>
        <source>%1、列車 %2 の%3：</source>
        <translation>%1, train %2 %3: </translation>
    </message>
    <message>
        <source>「%1」は数値ではありません。</source>
        <translation>&quot;%1&quot; is not a number.</translation>
    </message>
    <message>
        <source>%1は %2 個の値で終わっています（%3 個必要）。列車 %4 の%5の値がありません。</source>
        <translation>%1 ends after %2 values (%3 needed). Train %4 has no %5 value.</translation>
    </message>
    <message>
        <source>値 %1 は範囲 0〜%2 の外です。</source>
        <translation>value %1 is outside 0 to %2.</translation>
    </message>
    <message>
        <source>%1を開けません（%2）。</source>
        <translation>Cannot open %1 (%2).</translation>
    </message>
    <message>
        <source>%1を読み込めません（%2）。</source>
        <translation>Cannot read %1 (%2).</translation>
    </message>
    <message>
        <source>%1は初期データのファイルとしては大きすぎます。</source>
        <translation>%1 is too large for an initial data file.</translation>
    </message>
</context>
<context>
    <name>PortText</name>
    <message>
        <source>シリアルポート %1 を開けません: %2</source>
        <translation>Cannot open serial port %1: %2</translation>
    </message>
    <message>
        <source>シリアルポートを使えるのは dialout グループのユーザーだけです。%1 をこのグループに加えるには、端末で次のコマンドを実行してから、ログインし直してください:</source>
        <translation>Only users in the dialout group may use serial ports. To add %1 to the group, run this command in a terminal, then log in again:</translation>
    </message>
</context>
<context>
    <name>RemotePage</name>
    <message>
        <source>運行区間表示</source>
        <translation>Section map</translation>
    </message>
    <message>
        <source>後 自 次 次々</source>
        <translation>behind own next after</translation>
    </message>
    <message>
        <source>接続中…</source>
        <translation>Connecting…</translation>
    </message>
    <message>
        <source>閲覧のみ</source>
        <translation>View only</translation>
    </message>
    <message>
        <source>報告速度</source>
        <translation>Reported speed</translation>
    </message>
    <message>
        <source>指令速度</source>
        <translation>Set speed</translation>
    </message>
    <message>
        <source>ポイント</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>転送</source>
        <translation>Transfer</translation>
    </message>
    <message>
        <source>逆転</source>
        <translation>Reverse</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>待機中</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>送信中</source>
        <translation>Sending</translation>
    </message>
    <message>
        <source>運転中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>通信断</source>
        <translation>Line lost</translation>
    </message>
    <message>
        <source>接続断</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>操作可</source>
        <translation>Operating</translation>
    </message>
    <message>
        <source>トークンが違います: 閲覧のみです</source>
        <translation>Wrong token: view only</translation>
    </message>
    <message>
        <source>列車 %1</source>
        <translation>Train %1</translation>
    </message>
    <message>
        <source>エラー: %1</source>
        <translation>Error: %1</translation>
    </message>
</context>
<context>
    <name>ReportWatch</name>
    <message>
        <source>別区間</source>
        <translation>other section</translation>
    </message>
    <message>
        <source>出現</source>
        <translation>appeared</translation>
    </message>
    <message>
        <source>消失</source>
        <translation>vanished</translation>
    </message>
    <message>
        <source>区間重複</source>
        <translation>shared section</translation>
    </message>
    <message>
        <source>受信異常</source>
        <translation>bad block</translation>
    </message>
    <message>
        <source>在線異常 (%1): %2 報告 %3, 確認済み %4; 停止 %5</source>
        <translation>Doubtful (%1): %2 reports %3, confirmed %4; stop %5</translation>
    </message>
    <message>
        <source>在線異常: %1 の報告 %2 を採用</source>
        <translation>Doubtful: report %2 of %1 adopted</translation>
    </message>
    <message>
        <source>報告途絶 解除</source>
        <translation>No reports: cleared</translation>
    </message>
    <message>
        <source>進行なし 解除: %1</source>
        <translation>No progress cleared: %1</translation>
    </message>
    <message>
        <source>%1 解除: %2</source>
        <translation>%1 cleared: %2</translation>
    </message>
    <message>
        <source>受信: 制御装置の状態フレームは 23 バイト; 以後 23 バイトずつ解読</source>
        <translation>Receive: the controller&apos;s status frame is 23 bytes; decoding 23 bytes at a time from now on</translation>
    </message>
    <message>
        <source>%1: %2 バイト (%3 バイトの倍数でない) 不採用</source>
        <translation>%1: %2 bytes (not a multiple of %3 bytes) rejected</translation>
    </message>
    <message>
        <source>進行なし: %1 速度 %2 で %3 から進まず (脱線・停止の恐れ)</source>
        <translation>No progress: %1 at speed %2 does not leave %3 (derailed or stalled?)</translation>
    </message>
    <message>
        <source>報告途絶: %1 ms 報告なし; 停止</source>
        <translation>No reports: none for %1 ms; stop</translation>
    </message>
    <message>
        <source>RELM - 在線異常</source>
        <translation>RELM - Doubtful</translation>
    </message>
    <message>
        <source>RELM - 報告途絶</source>
        <translation>RELM - No reports</translation>
    </message>
    <message>
        <source>RELM - 進行なし</source>
        <translation>RELM - No progress</translation>
    </message>
    <message>
        <source>在線異常</source>
        <translation>Doubtful</translation>
    </message>
    <message>
        <source>報告途絶</source>
        <translation>No reports</translation>
    </message>
    <message>
        <source>進行なし</source>
        <translation>No progress</translation>
    </message>
    <message>
        <source>在線異常: %1 を確認済み %2 に戻す</source>
        <translation>Doubtful: %1 put back at confirmed %2</translation>
    </message>
    <message>
        <source>逆転保留: %1 速度 %2 で走行中の報告; 停止を待って逆転</source>
        <translation>Reversal held: %1 reported running at speed %2; reversing once it stands</translation>
    </message>
</context>
<context>
    <name>SettingsText</name>
    <message>
        <source>前回の設定は使わずに始めます。</source>
        <translation> Starting without the last settings.</translation>
    </message>
    <message>
        <source>設定ファイル %1 を読めません。</source>
        <translation>Cannot read the settings file %1.</translation>
    </message>
    <message>
        <source>設定ファイル %1 が大きすぎます（%2 バイト）。</source>
        <translation>The settings file %1 is too large (%2 bytes).</translation>
    </message>
    <message>
        <source>設定ファイル %1 が壊れています。</source>
        <translation>The settings file %1 is damaged.</translation>
    </message>
    <message>
        <source>設定ファイル %1 の %2 は使えない値なので、無視します。</source>
        <translation>%2 in the settings file %1 is not a usable value and is ignored.</translation>
    </message>
    <message>
        <source>設定ファイルのフォルダ %1 を作れません。</source>
        <translation>Cannot create the settings folder %1.</translation>
    </message>
    <message>
        <source>設定ファイル %1 に書き込めません。</source>
        <translation>Cannot write the settings file %1.</translation>
    </message>
</context>
<context>
    <name>StartText</name>
    <message>
        <source>次の起動でも接続設定を表示します。</source>
        <translation>The connection settings will be shown again at the next start.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>模擬制御装置を起動できません: %1</source>
        <translation>Cannot start the simulated controller: %1</translation>
    </message>
    <message>
        <source>
--port で装置を指定するか、--simulate で模擬制御装置を使ってください。</source>
        <translation>
Name the device with --port, or use the simulated controller with --simulate.</translation>
    </message>
    <message>
        <source>通信記録: %1</source>
        <translation>Traffic log: %1</translation>
    </message>
    <message>
        <source>遠隔パネルを開けません (%1): %2</source>
        <translation>Cannot open the remote panel (%1): %2</translation>
    </message>
    <message>
        <source>スロットルサーバーを開けません (%1): %2</source>
        <translation>Cannot open the throttle server (%1): %2</translation>
    </message>
    <message>
        <source>終了シグナルを受け取れません: %1</source>
        <translation>Cannot receive termination signals: %1</translation>
    </message>
</context>
<context>
    <name>relm::ConnectionDialog</name>
    <message>
        <source>--layout で指定されたフォルダです。</source>
        <translation>The folder given with --layout.</translation>
    </message>
    <message>
        <source>接続設定</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>制御装置との接続</source>
        <translation>Track controller</translation>
    </message>
    <message>
        <source>制御装置をつないだシリアルポートを選んでください。</source>
        <translation>Choose the serial port the track controller is connected to.</translation>
    </message>
    <message>
        <source>模擬制御装置</source>
        <translation>Simulated controller</translation>
    </message>
    <message>
        <source>制御装置の代わりに relm-sim を起動して使います（--simulate と同じ）。</source>
        <translation>Starts relm-sim and uses it instead of a controller (as --simulate).</translation>
    </message>
    <message>
        <source>シリアルポートが見つかりません。制御装置の USB アダプタを差し込んでください。差し込むと一覧に現れます。</source>
        <translation>No serial port found. Plug in the controller&apos;s USB adapter; it appears in the list when plugged in.</translation>
    </message>
    <message>
        <source>レイアウトのフォルダ</source>
        <translation>Layout folder</translation>
    </message>
    <message>
        <source>atctest.bin、atc.ini、kukan.dat のあるフォルダです。</source>
        <translation>The folder that holds atctest.bin, atc.ini and kukan.dat.</translation>
    </message>
    <message>
        <source>選択...</source>
        <translation>Choose...</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>レイアウトのフォルダを選んでください。</source>
        <translation>Choose the layout folder.</translation>
    </message>
</context>
<context>
    <name>relm::Console</name>
    <message>
        <source>%1 を開けません</source>
        <translation>Cannot open %1</translation>
    </message>
    <message>
        <source>RELM - 通信断</source>
        <translation>RELM - Line lost</translation>
    </message>
    <message>
        <source>RELM - 送信中 %1% (%2 / %3 バイト)</source>
        <translation>RELM - Sending %1% (%2 / %3 bytes)</translation>
    </message>
    <message>
        <source>

転送を中止しました。何も送信していません。初期データ設定で直してから、もう一度 転送 を押してください。</source>
        <translation>

Transfer stopped. Nothing was sent. Correct it in Initial data, then press Transfer again.</translation>
    </message>
    <message>
        <source>シリアルポート %1 を開けません: %2</source>
        <translation>Cannot open serial port %1: %2</translation>
    </message>
    <message>
        <source>テキスト送信 - 指定ファイルが見つかりません。</source>
        <translation>Text send - the file was not found.</translation>
    </message>
    <message>
        <source>送信中...</source>
        <translation>Sending...</translation>
    </message>
    <message>
        <source>通信断</source>
        <translation>line lost</translation>
    </message>
    <message>
        <source>データ送り終了</source>
        <translation>Data sent</translation>
    </message>
    <message>
        <source>データ送り中断</source>
        <translation>Data sending stopped</translation>
    </message>
    <message>
        <source>プログラムの転送が完了しませんでした（%1）。制御装置は新しいプログラムを受け取っていません。運転は始めていません。
回線を確かめてから、もう一度 転送 を押してください。</source>
        <translation>The program transfer did not complete (%1). The controller has not received the new program. Operation has not started.
Check the line, then press Transfer again.</translation>
    </message>
</context>
<context>
    <name>relm::Form1</name>
    <message>
        <source>逆転</source>
        <translation>Rev</translation>
    </message>
    <message>
        <source>ポイント</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>転送</source>
        <translation>Transfer</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>初期データ設定</source>
        <translation>Initial data</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>relm::Form2</name>
    <message>
        <source>初期データ設定</source>
        <translation>Initial data</translation>
    </message>
    <message>
        <source>Ｘ：</source>
        <translation>X:</translation>
    </message>
    <message>
        <source>Ｙ：</source>
        <translation>Y:</translation>
    </message>
    <message>
        <source>Ｚ：</source>
        <translation>Z:</translation>
    </message>
    <message>
        <source>運転</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>路線</source>
        <translation>Route</translation>
    </message>
    <message>
        <source>区間</source>
        <translation>Section</translation>
    </message>
    <message>
        <source>逆転</source>
        <translation>Rev</translation>
    </message>
    <message>
        <source>&#x3000;</source>
        <translation> </translation>
    </message>
    <message>
        <source>ＯＫ</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>初期データを保存できませんでした。
ファイル: %1
理由: %2</source>
        <translation>The initial data could not be saved.
File: %1
Reason: %2</translation>
    </message>
</context>
<context>
    <name>relm::Form3</name>
    <message>
        <source>運行区間表示</source>
        <translation>Section map</translation>
    </message>
    <message>
        <source>%1 を読み込めません。
%2</source>
        <translation>Cannot read %1.
%2</translation>
    </message>
</context>
<context>
    <name>relm::MSComm1</name>
    <message>
        <source>%1 を使う権限がありません（%2）。dialout グループに入っているか確かめてください。</source>
        <translation>No permission to use %1 (%2). Check that you are in the dialout group.</translation>
    </message>
    <message>
        <source>%1 は他のプログラムが使用中です。そのプログラムを終了してから、もう一度試してください。</source>
        <translation>%1 is in use by another program. End that program, then try again.</translation>
    </message>
    <message>
        <source>%1 が見つかりません（%2）。</source>
        <translation>%1 was not found (%2).</translation>
    </message>
</context>
<context>
    <name>relm::MdnsAdvert</name>
    <message>
        <source>mDNS: 知らせられません (%1)</source>
        <translation>mDNS: cannot announce (%1)</translation>
    </message>
    <message>
        <source>mDNS: Avahi デーモンとの接続が切れました (%1)</source>
        <translation>mDNS: lost the connection to the Avahi daemon (%1)</translation>
    </message>
    <message>
        <source>mDNS: %1 として %2 を知らせています</source>
        <translation>mDNS: announcing %2 as %1</translation>
    </message>
    <message>
        <source>mDNS: Avahi デーモンが動いていないため、スロットルにこの計算機は一覧されません (%1)。スロットルにはこの計算機のアドレスとポート %2 を入力してください</source>
        <translation>mDNS: the Avahi daemon is not running, so throttles will not list this computer (%1). Enter this computer&apos;s address and port %2 in the throttle</translation>
    </message>
</context>
<context>
    <name>relm::MonitorWindow</name>
    <message>
        <source>通信モニタ</source>
        <translation>Traffic monitor</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>消去</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>遠隔パネル (操作用): %1</source>
        <translation>Remote panel (to operate): %1</translation>
    </message>
    <message>
        <source>再開</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>通信記録の保存</source>
        <translation>Save the traffic</translation>
    </message>
    <message>
        <source>%1 に保存できません: %2</source>
        <translation>Cannot save to %1: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n 行</source>
        <translation>
            <numerusform>%n line</numerusform>
            <numerusform>%n lines</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>relm::ThrottleServer</name>
    <message>
        <source>スロットルサーバーを終了</source>
        <translation>throttle server ended</translation>
    </message>
    <message>
        <source>スロットル接続: #%1 (%2)</source>
        <translation>Throttle connected: #%1 (%2)</translation>
    </message>
    <message>
        <source>送信がたまりすぎました</source>
        <translation>too much waiting to be sent</translation>
    </message>
    <message>
        <source>スロットル接続を断りました: %1 (同時に %2 台まで)</source>
        <translation>Throttle refused: %1 (at most %2 at once)</translation>
    </message>
    <message>
        <source>Q で終了</source>
        <translation>ended with Q</translation>
    </message>
    <message>
        <source>接続が切れました</source>
        <translation>connection lost</translation>
    </message>
    <message>
        <source>%1 秒間 理解できる行がありません</source>
        <translation>no line understood for %1 s</translation>
    </message>
    <message>
        <source>送信がたまりすぎました (読まない端末)</source>
        <translation>too much waiting to be sent (the throttle does not read)</translation>
    </message>
</context>
<context>
    <name>relm::ThrottleSession</name>
    <message>
        <source>スロットル %1: 1 秒 %2 行を超えた行を捨てました</source>
        <translation>Throttle %1: dropped lines beyond %2 a second</translation>
    </message>
    <message>
        <source>スロットル %1: %2 バイトを超える行を捨てました</source>
        <translation>Throttle %1: dropped a line longer than %2 bytes</translation>
    </message>
    <message>
        <source>スロットル #%1 (%2) の名前: %3</source>
        <translation>Throttle #%1 (%2) is named %3</translation>
    </message>
    <message>
        <source>スロットル %1: 列車 %2 非常停止</source>
        <translation>Throttle %1: train %2 emergency stop</translation>
    </message>
    <message>
        <source>スロットル %1 から %2 秒間応答なし: 列車 %3 を停止</source>
        <translation>No answer from throttle %1 for %2 s: train %3 stopped</translation>
    </message>
    <message>
        <source>スロットル切断: %1, %2</source>
        <translation>Throttle disconnected: %1, %2</translation>
    </message>
    <message>
        <source>スロットル %1 がいなくなりました (%2): 列車 %3 を停止</source>
        <translation>Throttle %1 is gone (%2): train %3 stopped</translation>
    </message>
    <message>
        <source>スロットル %1 が終了: 列車 %2 は走行を続けます</source>
        <translation>Throttle %1 ended: train %2 keeps running</translation>
    </message>
</context>
</TS>
