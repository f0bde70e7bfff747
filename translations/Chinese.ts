<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>BusWindow</name>
    <message>
        <source>&amp;Publish…</source>
        <translation>发布(&amp;P)…</translation>
    </message>
    <message>
        <source>Hygrovane – Bus</source>
        <translation>Hygrovane – 总线</translation>
    </message>
    <message>
        <source>Addresses from</source>
        <translation>地址从</translation>
    </message>
    <message>
        <source>to</source>
        <translation>到</translation>
    </message>
    <message>
        <source>Answer within:</source>
        <translation>应答等待：</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> 毫秒</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The serial port is not open. Press Link first.</source>
        <translation>串口未打开，请先按“连接”。</translation>
    </message>
    <message>
        <source>The line is busy with the bus window. Stop it first.</source>
        <translation>总线窗口正在使用线路，请先停止它。</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>No module to watch: tick modules the scan found at the link&apos;s rate.</source>
        <translation>没有可监视的模块：请勾选扫描在连接波特率下找到的模块。</translation>
    </message>
    <message>
        <source>All &amp;rates</source>
        <translation>所有波特率(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Scan</source>
        <translation>扫描(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Watch</source>
        <translation>监视(&amp;W)</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>停止(&amp;T)</translation>
    </message>
    <message>
        <source>Stop &amp;watching</source>
        <translation>停止监视(&amp;W)</translation>
    </message>
    <message>
        <source>Change &amp;address…</source>
        <translation>更改地址(&amp;A)…</translation>
    </message>
    <message>
        <source>Change &amp;baud rate…</source>
        <translation>更改波特率(&amp;B)…</translation>
    </message>
    <message>
        <source>Sa&amp;ve table as…</source>
        <translation>表格另存为(&amp;V)…</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <source>Addresses from %1 to %2 hold no address: the first must not be above the last.</source>
        <translation>地址 %1 到 %2 不含任何地址：起始地址不能大于结束地址。</translation>
    </message>
    <message numerus="yes">
        <source>%1 of %n address</source>
        <translation>
            <numerusform>已扫描 %1/%n 个地址</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 of %n addresses</source>
        <translation>
            <numerusform>已扫描 %1/%n 个地址</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n module found</source>
        <translation>
            <numerusform>找到 %n 个模块</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n modules found</source>
        <translation>
            <numerusform>找到 %n 个模块</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1，%2</translation>
    </message>
    <message>
        <source>%1 at %2 baud</source>
        <translation>%1，%2 波特</translation>
    </message>
    <message>
        <source>No port linked</source>
        <translation>未连接串口</translation>
    </message>
    <message>
        <source>Scanning %1 of %2 at %3 baud, about %4 s left</source>
        <translation>正在扫描 %1/%2（%3 波特），约剩 %4 秒</translation>
    </message>
    <message numerus="yes">
        <source>Watching %n module, a round every %1 s</source>
        <translation>
            <numerusform>正在监视 %n 个模块，每 %1 秒一轮</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Watching %n modules, a round every %1 s</source>
        <translation>
            <numerusform>正在监视 %n 个模块，每 %1 秒一轮</numerusform>
        </translation>
    </message>
    <message>
        <source>Changing the module at address %1 (%2 baud)</source>
        <translation>正在更改地址 %1（%2 波特）的模块</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>空闲</translation>
    </message>
    <message numerus="yes">
        <source>recording to %1, %n row written</source>
        <translation>
            <numerusform>正在记录到 %1，已写入 %n 行</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>recording to %1, %n rows written</source>
        <translation>
            <numerusform>正在记录到 %1，已写入 %n 行</numerusform>
        </translation>
    </message>
    <message>
        <source>Two modules share this address: disconnect one of them, then change the other&apos;s address.</source>
        <translation>两个模块共用此地址：请断开其中一个，然后更改另一个的地址。</translation>
    </message>
    <message>
        <source>Change baud rate</source>
        <translation>更改波特率</translation>
    </message>
    <message>
        <source>New baud rate of the module at address %1:</source>
        <translation>地址 %1 的模块的新波特率：</translation>
    </message>
    <message>
        <source>Change address</source>
        <translation>更改地址</translation>
    </message>
    <message>
        <source>New address of the module at address %1 (%2 baud):</source>
        <translation>地址 %1（%2 波特）的模块的新地址：</translation>
    </message>
    <message>
        <source>Address %1 is already used on this line.</source>
        <translation>地址 %1 已被本线路上的模块占用。</translation>
    </message>
    <message>
        <source>Save the table</source>
        <translation>保存表格</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>The file %1 cannot be written: %2</source>
        <translation>无法写入文件 %1：%2</translation>
    </message>
    <message>
        <source>Stop the watch and scan again? The table is cleared.</source>
        <translation>停止监视并重新扫描吗？表格将被清空。</translation>
    </message>
    <message>
        <source>Stop the watch first</source>
        <translation>请先停止监视</translation>
    </message>
    <message>
        <source>Stop the scan first</source>
        <translation>请先停止扫描</translation>
    </message>
    <message>
        <source>A module is being changed</source>
        <translation>正在更改一个模块</translation>
    </message>
    <message>
        <source>Select a module&apos;s row first</source>
        <translation>请先选择一个模块所在的行</translation>
    </message>
    <message>
        <source>The module answers at address %1, %2 baud now.</source>
        <translation>该模块现在在地址 %1、波特率 %2 下应答。</translation>
    </message>
    <message numerus="yes">
        <source>Saved %n row to %1</source>
        <translation>
            <numerusform>已保存 %n 行到 %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Saved %n rows to %1</source>
        <translation>
            <numerusform>已保存 %n 行到 %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Save for &amp;gateway…</source>
        <translation>保存为网关配置(&amp;G)…</translation>
    </message>
    <message>
        <source>Write the file a gateway on a box beside the line watches and publishes it with</source>
        <translation>写入网关配置文件：线路旁的网关设备据此监视并发布本线路</translation>
    </message>
    <message>
        <source>Save for gateway…</source>
        <translation>保存为网关配置…</translation>
    </message>
    <message>
        <source>Gateway files (*.conf)</source>
        <translation>网关配置文件 (*.conf)</translation>
    </message>
    <message>
        <source>Saved the gateway&apos;s file %1</source>
        <translation>已保存网关配置文件 %1</translation>
    </message>
    <message>
        <source>module %1 answers at %2 baud and is not in the file</source>
        <translation>模块 %1 在波特率 %2 下应答，未写入文件</translation>
    </message>
    <message>
        <source>modules %1 answer at %2 baud and are not in the file</source>
        <translation>模块 %1 在波特率 %2 下应答，未写入文件</translation>
    </message>
    <message>
        <source>Save for gateway</source>
        <translation>保存为网关配置</translation>
    </message>
    <message>
        <source>Saved the gateway&apos;s file %1, but %2: one gateway watches one rate.</source>
        <translation>已保存网关配置文件 %1，但%2：一个网关只监视一种波特率。</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between the rates left out</comment>
        <translation>；</translation>
    </message>
</context>
<context>
    <name>CommissionWindow</name>
    <message>
        <source>Hygrovane – Commission</source>
        <translation>Hygrovane – 调试</translation>
    </message>
    <message>
        <source>Next address:</source>
        <translation>下一个地址：</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Serial number: from the clock, as AUTO Setup makes it</source>
        <translation>序列号：取自电脑时钟，与“自动设置”相同</translation>
    </message>
    <message>
        <source>Work Mode:</source>
        <translation>工作模式：</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>Only Realtime Monitoring</source>
        <translation>仅实时监测</translation>
    </message>
    <message>
        <source>Start Mode:</source>
        <translation>启动方式：</translation>
    </message>
    <message>
        <source>After Setup</source>
        <translation>设置后启动</translation>
    </message>
    <message>
        <source>Timing Start</source>
        <translation>定时启动</translation>
    </message>
    <message>
        <source>Time For Start:</source>
        <translation>启动时间：</translation>
    </message>
    <message>
        <source>yyyy/MM/dd hh:mm:ss</source>
        <translation>yyyy/MM/dd hh:mm:ss</translation>
    </message>
    <message>
        <source>Sampling Rate:</source>
        <translation>采样间隔：</translation>
    </message>
    <message>
        <source>No report file chosen</source>
        <translation>未选择报告文件</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Commissioning report</source>
        <translation>调试报告</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>The file %1 is not a commissioning report. Choose another file.</source>
        <translation>文件 %1 不是调试报告，请选择其他文件。</translation>
    </message>
    <message>
        <source>The file %1 cannot be written: %2</source>
        <translation>无法写入文件 %1：%2</translation>
    </message>
    <message>
        <source>The serial port is not open. Press Link first.</source>
        <translation>串口未打开，请先按“连接”。</translation>
    </message>
    <message>
        <source>Time setting error!</source>
        <translation>时间设置错误！</translation>
    </message>
    <message>
        <source>The line is busy with commissioning. Stop it first.</source>
        <translation>调试正在使用线路，请先停止它。</translation>
    </message>
    <message>
        <source>the report cannot be written: %1</source>
        <translation>无法写入报告：%1</translation>
    </message>
    <message>
        <source>%1: failed, %2</source>
        <translation>%1：失败，%2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>This batch: %1 done, %2 failed</source>
        <translation>本批次：完成 %1 个，失败 %2 个</translation>
    </message>
    <message>
        <source>Address %1 has been given in this batch already.</source>
        <translation>地址 %1 已在本批次中分配过。</translation>
    </message>
    <message>
        <source>This module was commissioned a moment ago (address %1). Commission it again?</source>
        <translation>此模块刚刚调试过（地址 %1）。要再次调试吗？</translation>
    </message>
    <message>
        <source>Every address from 1 to 247 has been given in this batch.</source>
        <translation>1 到 247 的所有地址都已在本批次中分配。</translation>
    </message>
    <message>
        <source>A module is being commissioned (step: %1). Stop the run?</source>
        <translation>正在调试一个模块（步骤：%1）。要停止吗？</translation>
    </message>
    <message>
        <source>Commission</source>
        <translation>调试</translation>
    </message>
    <message>
        <source>&amp;Commission</source>
        <translation>调试(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>停止(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Report file…</source>
        <translation>报告文件(&amp;R)…</translation>
    </message>
    <message>
        <source>declined: commissioned a moment ago</source>
        <translation>已拒绝：刚刚调试过</translation>
    </message>
</context>
<context>
    <name>Line</name>
    <message>
        <source>The line is busy with the baud-rate search. Wait for it to end.</source>
        <translation>线路正忙于波特率搜索，请等待搜索结束。</translation>
    </message>
    <message>
        <source>%1 carries the bytes only and cannot change the line&apos;s rate: choose the rate the line is set up with.</source>
        <translation>%1 只传送数据，无法更改线路波特率：请选择线路设定的波特率。</translation>
    </message>
</context>
<context>
    <name>ModuleTable</name>
    <message>
        <source>Silent since %1</source>
        <translation>自 %1 起无应答</translation>
    </message>
    <message>
        <source>Answers with exception %1</source>
        <translation>应答异常码 %1</translation>
    </message>
    <message>
        <source>Garbled reply: two modules at this address?</source>
        <translation>应答错乱：此地址上有两个模块？</translation>
    </message>
    <message>
        <source>Answers</source>
        <translation>应答</translation>
    </message>
    <message>
        <source>Answers late (%1 ms): raise Answer within</source>
        <translation>应答迟到（%1 毫秒）：请调大应答等待</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>地址</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <translation>波特率</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>湿度</translation>
    </message>
    <message>
        <source>DewTemp</source>
        <translation>露点温度</translation>
    </message>
    <message>
        <source>WetBulbTemp</source>
        <translation>湿球温度</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Polls</source>
        <translation>查询次数</translation>
    </message>
    <message>
        <source>Misses</source>
        <translation>未应答</translation>
    </message>
    <message>
        <source>Last seen</source>
        <translation>最后应答</translation>
    </message>
    <message>
        <source>Not watched: at %1 baud</source>
        <translation>未监视：波特率为 %1</translation>
    </message>
    <message>
        <source>Two modules share this address: disconnect one of them, then change the other&apos;s address.</source>
        <translation>两个模块共用此地址：请断开其中一个，然后更改另一个的地址。</translation>
    </message>
</context>
<context>
    <name>NetworkTransport</name>
    <message>
        <source>the server at %1 did not confirm the rate: is it an RFC 2217 server?</source>
        <translation>%1 处的服务器没有确认波特率：它是 RFC 2217 服务器吗？</translation>
    </message>
    <message>
        <source>the connection to the server at %1 was dropped</source>
        <translation>与 %1 处服务器的连接已断开</translation>
    </message>
    <message>
        <source>the server at %1 refused the connection</source>
        <translation>%1 处的服务器拒绝了连接</translation>
    </message>
    <message>
        <source>the host in %1 was not found</source>
        <translation>找不到 %1 中的主机</translation>
    </message>
    <message>
        <source>the server at %1 did not answer within %2 s</source>
        <translation>%1 处的服务器在 %2 秒内没有应答</translation>
    </message>
    <message>
        <source>the connection to the server at %1 failed: %2</source>
        <translation>连接 %1 处的服务器失败：%2</translation>
    </message>
    <message>
        <source>%1 names no server: write tcp://HOST:PORT or rfc2217://HOST:PORT</source>
        <translation>%1 没有指明服务器：请写 tcp://主机:端口 或 rfc2217://主机:端口</translation>
    </message>
    <message>
        <source>%1: the port must be a number from 1 to 65535</source>
        <translation>%1：端口必须是 1 到 65535 之间的数字</translation>
    </message>
    <message>
        <source>the server at %1 closed the connection: %2</source>
        <translation>%1 处的服务器关闭了连接：%2</translation>
    </message>
    <message>
        <source>the serial server set %1 baud, not %2 as asked</source>
        <translation>串口服务器设置的是 %1 波特，而不是所要求的 %2</translation>
    </message>
</context>
<context>
    <name>PortError</name>
    <message>
        <source>no such port</source>
        <translation>没有这个串口</translation>
    </message>
    <message>
        <source>the port is busy: another program has it open</source>
        <translation>串口正忙：另一个程序已打开它</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>没有权限</translation>
    </message>
    <message>
        <source>the port is open already</source>
        <translation>串口已经打开</translation>
    </message>
    <message>
        <source>the port was removed or stopped answering</source>
        <translation>串口已被拔出或不再响应</translation>
    </message>
    <message>
        <source>writing to the port failed</source>
        <translation>向串口写入失败</translation>
    </message>
    <message>
        <source>reading from the port failed</source>
        <translation>从串口读取失败</translation>
    </message>
    <message>
        <source>the port does not take these settings</source>
        <translation>串口不支持这些设置</translation>
    </message>
    <message>
        <source>the port did not answer in time</source>
        <translation>串口未及时响应</translation>
    </message>
    <message>
        <source>the port is not open</source>
        <translation>串口未打开</translation>
    </message>
    <message>
        <source>code %1</source>
        <translation>代码 %1</translation>
    </message>
    <message>
        <source>an unexpected error of the port (%1)</source>
        <translation>串口出现意外错误（%1）</translation>
    </message>
</context>
<context>
    <name>PublishDialog</name>
    <message>
        <source>Hygrovane – Publish</source>
        <translation>Hygrovane – 发布</translation>
    </message>
    <message>
        <source>&amp;Broker</source>
        <translation>代理服务器(&amp;B)</translation>
    </message>
    <message>
        <source>mqtt://host:1883 or mqtts://host:8883</source>
        <translation>mqtt://主机:1883 或 mqtts://主机:8883</translation>
    </message>
    <message>
        <source>&amp;User name</source>
        <translation>用户名(&amp;U)</translation>
    </message>
    <message>
        <source>Pass&amp;word</source>
        <translation>密码(&amp;W)</translation>
    </message>
    <message>
        <source>CA for TLS</source>
        <translation>TLS 根证书</translation>
    </message>
    <message>
        <source>CA &amp;file…</source>
        <translation>CA 文件(&amp;F)…</translation>
    </message>
    <message>
        <source>&amp;Topic prefix</source>
        <translation>主题前缀(&amp;T)</translation>
    </message>
    <message>
        <source>Home Assistant disco&amp;very</source>
        <translation>Home Assistant 自动发现(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>连接(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>断开(&amp;D)</translation>
    </message>
    <message>
        <source>CA certificate</source>
        <translation>CA 证书</translation>
    </message>
    <message>
        <source>Certificates (*.pem *.crt);;All files (*)</source>
        <translation>证书 (*.pem *.crt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>the system&apos;s certificates</source>
        <translation>系统证书</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>正在连接…</translation>
    </message>
    <message>
        <source>Disconnected: %1</source>
        <translation>已断开：%1</translation>
    </message>
    <message>
        <source>%1 readings waiting, %2 dropped</source>
        <translation>%1 条读数待发送，已丢弃 %2 条</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Not connected: %1.</source>
        <translation>未连接：%1。</translation>
    </message>
</context>
<context>
    <name>SerialportSettingDialog</name>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>Serial port</source>
        <translation>串口</translation>
    </message>
    <message>
        <source>Serialport Settings</source>
        <translation>串口设置</translation>
    </message>
    <message>
        <source>Port Name:</source>
        <translation>串口号：</translation>
    </message>
    <message>
        <source>Baud Rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Data Bits:</source>
        <translation>数据位：</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>校验位：</translation>
    </message>
    <message>
        <source>Stop Bits:</source>
        <translation>停止位：</translation>
    </message>
    <message>
        <source>AUTO</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>8</source>
        <translation>8</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>无</translation>
    </message>
    <message>
        <source>ODD</source>
        <translation>奇校验</translation>
    </message>
    <message>
        <source>EVEN</source>
        <translation>偶校验</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>TrendWindow</name>
    <message>
        <source>Hygrovane – Trend</source>
        <translation>Hygrovane – 趋势</translation>
    </message>
    <message>
        <source>Span:</source>
        <translation>时间跨度：</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 分钟</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 小时</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 小时</translation>
    </message>
    <message>
        <source>Record…</source>
        <translation>记录…</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>湿度</translation>
    </message>
    <message>
        <source>DewTemp</source>
        <translation>露点温度</translation>
    </message>
    <message>
        <source>WetBulbTemp</source>
        <translation>湿球温度</translation>
    </message>
    <message>
        <source>Record to a file</source>
        <translation>记录到文件</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The file %1 cannot be written: %2</source>
        <translation>无法写入文件 %1：%2</translation>
    </message>
    <message>
        <source>The file %1 is not a record of readings. Choose another file.</source>
        <translation>文件 %1 不是读数记录，请选择其他文件。</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>地址：</translation>
    </message>
    <message numerus="yes">
        <source>Stop recording (%1, %n row)</source>
        <translation>
            <numerusform>停止记录（%1，%n 行）</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Stop recording (%1, %n rows)</source>
        <translation>
            <numerusform>停止记录（%1，%n 行）</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Widget</name>
    <message>
        <source>Widget</source>
        <translation>主窗口</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>序列号：</translation>
    </message>
    <message>
        <source>AUTO Setup</source>
        <translation>自动设置</translation>
    </message>
    <message>
        <source>MANU Setup</source>
        <translation>手动设置</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>读取</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>地址：</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>Real time data</source>
        <translation>实时数据</translation>
    </message>
    <message>
        <source>Temperature:</source>
        <translation>温度：</translation>
    </message>
    <message>
        <source>Humidity:</source>
        <translation>湿度：</translation>
    </message>
    <message>
        <source>DewTemp:</source>
        <translation>露点温度：</translation>
    </message>
    <message>
        <source>WetBulbTemp:</source>
        <translation>湿球温度：</translation>
    </message>
    <message>
        <source>ALL</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>湿度</translation>
    </message>
    <message>
        <source>DewTemp</source>
        <translation>露点温度</translation>
    </message>
    <message>
        <source>WetBulbTemp</source>
        <translation>湿球温度</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Record </source>
        <translation>记录 </translation>
    </message>
    <message>
        <source>Work Mode:</source>
        <translation>工作模式：</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>Only Realtime Monitoring</source>
        <translation>仅实时监测</translation>
    </message>
    <message>
        <source>Start Mode:</source>
        <translation>启动方式：</translation>
    </message>
    <message>
        <source>After Setup</source>
        <translation>设置后启动</translation>
    </message>
    <message>
        <source>Timing Start</source>
        <translation>定时启动</translation>
    </message>
    <message>
        <source>Time For Start:</source>
        <translation>启动时间：</translation>
    </message>
    <message>
        <source>Sampling Rate:</source>
        <translation>采样间隔：</translation>
    </message>
    <message>
        <source>1S</source>
        <translation>1秒</translation>
    </message>
    <message>
        <source>2S</source>
        <translation>2秒</translation>
    </message>
    <message>
        <source>5S</source>
        <translation>5秒</translation>
    </message>
    <message>
        <source>10S</source>
        <translation>10秒</translation>
    </message>
    <message>
        <source>20S</source>
        <translation>20秒</translation>
    </message>
    <message>
        <source>30S</source>
        <translation>30秒</translation>
    </message>
    <message>
        <source>1min</source>
        <translation>1分钟</translation>
    </message>
    <message>
        <source>2min</source>
        <translation>2分钟</translation>
    </message>
    <message>
        <source>5min</source>
        <translation>5分钟</translation>
    </message>
    <message>
        <source>10min</source>
        <translation>10分钟</translation>
    </message>
    <message>
        <source>30min</source>
        <translation>30分钟</translation>
    </message>
    <message>
        <source>1h</source>
        <translation>1小时</translation>
    </message>
    <message>
        <source>2h</source>
        <translation>2小时</translation>
    </message>
    <message>
        <source>6h</source>
        <translation>6小时</translation>
    </message>
    <message>
        <source>12h</source>
        <translation>12小时</translation>
    </message>
    <message>
        <source>24h</source>
        <translation>24小时</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-weight:600; color:#ff0000;&quot;&gt;Note: You need to set the baud rate to 115200 when downloading historical data, and then use professional software to download.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-weight:600; color:#ff0000;&quot;&gt;注意：下载历史数据时，需要先将波特率设置为115200，然后使用专业软件进行下载。&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>通讯信息</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Hygrovane</source>
        <translation>Hygrovane</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Communication error!</source>
        <translation>通讯错误！</translation>
    </message>
    <message>
        <source>The address is empty!</source>
        <translation>地址不能为空！</translation>
    </message>
    <message>
        <source>The address is between 1 and 247!</source>
        <translation>地址必须在1到247之间！</translation>
    </message>
    <message>
        <source>Time setting error!</source>
        <translation>时间设置错误！</translation>
    </message>
    <message>
        <source>Setting succeed!</source>
        <translation>设置成功！</translation>
    </message>
    <message>
        <source>Setting failed, please try again!</source>
        <translation>设置失败，请重试！</translation>
    </message>
    <message>
        <source>Temperature:---</source>
        <translation>温度：---</translation>
    </message>
    <message>
        <source>Humidity:---</source>
        <translation>湿度：---</translation>
    </message>
    <message>
        <source>DewTemp:---</source>
        <translation>露点温度：---</translation>
    </message>
    <message>
        <source>DewTemp::---</source>
        <translation>露点温度：：---</translation>
    </message>
    <message>
        <source>WetBulbTemp:---</source>
        <translation>湿球温度：---</translation>
    </message>
    <message>
        <source>The serial port %1 cannot be opened: %2</source>
        <translation>无法打开串口 %1：%2</translation>
    </message>
    <message>
        <source>The serial port %1 stopped working: %2</source>
        <translation>串口 %1 停止工作：%2</translation>
    </message>
    <message>
        <source>The serial port is not open. Press Link first.</source>
        <translation>串口未打开，请先按“连接”。</translation>
    </message>
    <message>
        <source>Trend</source>
        <translation>趋势</translation>
    </message>
    <message>
        <source>Save log as…</source>
        <translation>日志另存为…</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>文本文件 (*.txt)</translation>
    </message>
    <message>
        <source>The file %1 cannot be written: %2</source>
        <translation>无法写入文件 %1：%2</translation>
    </message>
    <message>
        <source>Bus</source>
        <translation>总线</translation>
    </message>
    <message>
        <source>Commission</source>
        <translation>调试</translation>
    </message>
    <message>
        <source>The module refused the request (exception %1).</source>
        <translation>模块拒绝了请求（异常码 %1）。</translation>
    </message>
    <message>
        <source>The serial number is twelve digits, 0 to 9!</source>
        <translation>序列号必须是十二位数字（0 到 9）！</translation>
    </message>
    <message>
        <source>Several modules answered at once: the write may have reached all of them.</source>
        <translation>多个模块同时应答：写入可能已到达所有模块。</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>%1 modules answer on this line, and this write reaches every one of them. Write anyway?</source>
        <translation>此线路上有 %1 个模块应答，此次写入会到达每一个模块。仍要写入吗？</translation>
    </message>
    <message>
        <source>%1 modules answer on this line at %2 baud: use the bus window to tell them apart.</source>
        <translation>此线路上有 %1 个模块在波特率 %2 下应答：请用总线窗口区分它们。</translation>
    </message>
    <message>
        <source>%1 modules answered this write: it reached every one of them.</source>
        <translation>有 %1 个模块应答了此次写入：写入已到达每一个模块。</translation>
    </message>
    <message>
        <source>At least %1 modules answer on this line at %2 baud: use the bus window to tell them apart.</source>
        <translation>此线路上至少有 %1 个模块在波特率 %2 下应答：请用总线窗口区分它们。</translation>
    </message>
    <message>
        <source>At least %1 modules answered this write: it reached every one of them.</source>
        <translation>至少有 %1 个模块应答了此次写入：写入已到达每一个模块。</translation>
    </message>
    <message>
        <source>At least %1 modules answer on this line, and this write reaches every one of them. Write anyway?</source>
        <translation>此线路上至少有 %1 个模块应答，此次写入会到达每一个模块。仍要写入吗？</translation>
    </message>
</context>
<context>
    <name>bus::Changer</name>
    <message>
        <source>A module answers at address %1 (%2 baud) already: choose another address.</source>
        <translation>地址 %1（波特率 %2）上已有模块应答：请选择其他地址。</translation>
    </message>
    <message>
        <source>The write got no answer from address %1.</source>
        <translation>写入未得到地址 %1 的应答。</translation>
    </message>
    <message>
        <source>The write got a garbled answer from address %1: two modules there?</source>
        <translation>写入得到地址 %1 的混乱应答：那里有两个模块？</translation>
    </message>
    <message>
        <source>The module refused the write (exception %1).</source>
        <translation>模块拒绝了写入（异常 %1）。</translation>
    </message>
    <message>
        <source>The echo differs from the write: %1 for %2.</source>
        <translation>回显与写入不符：写入 %2，回显 %1。</translation>
    </message>
    <message>
        <source>The module echoed the write, but the read-back at address %1, %2 baud got %3.</source>
        <translation>模块已回显写入，但在地址 %1、%2 波特回读时得到%3。</translation>
    </message>
    <message>
        <source>a garbled answer</source>
        <translation>混乱的应答</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>无应答</translation>
    </message>
</context>
<context>
    <name>commission</name>
    <message>
        <source>recording after setup</source>
        <translation>设置后开始记录</translation>
    </message>
    <message>
        <source>recording from the start time</source>
        <translation>从启动时间开始记录</translation>
    </message>
    <message>
        <source>monitoring only</source>
        <translation>仅监测</translation>
    </message>
    <message>
        <source>mode %1</source>
        <translation>模式 %1</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>查找</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>地址</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>Logger setup</source>
        <translation>记录仪设置</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <translation>波特率</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>报告</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>无应答</translation>
    </message>
    <message>
        <source>a reply that makes no frame</source>
        <translation>应答不成帧</translation>
    </message>
    <message>
        <source>the module refused the request (exception %1)</source>
        <translation>模块拒绝了请求（异常码 %1）</translation>
    </message>
    <message>
        <source>no module answers at any rate</source>
        <translation>任何波特率下都没有模块应答</translation>
    </message>
    <message>
        <source>address %1 at %2 baud</source>
        <translation>地址 %1，波特率 %2</translation>
    </message>
    <message>
        <source>address %1</source>
        <translation>地址 %1</translation>
    </message>
    <message>
        <source>the module echoed address %1</source>
        <translation>模块回显的地址为 %1</translation>
    </message>
    <message>
        <source>%1, model %2</source>
        <translation>%1，型号 %2</translation>
    </message>
    <message>
        <source>read back %1 where %2 was written</source>
        <translation>写入 %2，读回 %1</translation>
    </message>
    <message>
        <source>read back %1</source>
        <translation>读回 %1</translation>
    </message>
    <message>
        <source>%1 baud, %2 °C, %3 %RH</source>
        <translation>波特率 %1，%2 °C，%3 %RH</translation>
    </message>
    <message>
        <source>appended</source>
        <translation>已追加</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 和 %2</translation>
    </message>
    <message>
        <source>More than one module answers (at %1 baud): keep only the one to commission on the line.</source>
        <translation>有多个模块应答（波特率 %1）：线路上只保留要调试的那一个模块。</translation>
    </message>
    <message>
        <source>%1 baud</source>
        <translation>波特率 %1</translation>
    </message>
    <message>
        <source>%1 (not confirmed)</source>
        <translation>%1（未确认）</translation>
    </message>
    <message>
        <source>Two modules answer at %1 baud (the second %2 ms after the first): keep only the one to commission on the line.</source>
        <translation>有两个模块在波特率 %1 下应答（第二个比第一个晚 %2 毫秒）：线路上只保留要调试的那一个模块。</translation>
    </message>
    <message>
        <source>%1 modules answer at %2 baud (the second %3 ms after the first): keep only the one to commission on the line.</source>
        <translation>有 %1 个模块在波特率 %2 下应答（第二个比第一个晚 %3 毫秒）：线路上只保留要调试的那一个模块。</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1，%2</translation>
    </message>
    <message>
        <source>Result: failed at %1</source>
        <translation>结果：在%1步骤失败</translation>
    </message>
    <message>
        <source>Result: ok</source>
        <translation>结果：成功</translation>
    </message>
    <message>
        <source>Result: stopped at %1</source>
        <translation>结果：在%1步骤停止</translation>
    </message>
    <message>
        <source>At least %1 modules answer at %2 baud (the second %3 ms after the first): keep only the one to commission on the line.</source>
        <translation>至少有 %1 个模块在波特率 %2 下应答（第二个比第一个晚 %3 毫秒）：线路上只保留要调试的那一个模块。</translation>
    </message>
</context>
<context>
    <name>gateway::Config</name>
    <message>
        <source>%1: a password given here can be read by others; put it alone in a file only the gateway reads and give that file with --password-file</source>
        <translation>%1：写在这里的密码别人也能看到；请把它单独放进一个只有网关能读的文件，并用 --password-file 指定该文件</translation>
    </message>
    <message>
        <source>--config: %1 cannot be read: %2</source>
        <translation>--config：无法读取 %1：%2</translation>
    </message>
    <message>
        <source>--config: %1 is too long for a configuration file</source>
        <translation>--config：%1 太长，不是配置文件</translation>
    </message>
    <message>
        <source>%1: not a line of key = value</source>
        <translation>%1：不是“键 = 值”形式的行</translation>
    </message>
    <message>
        <source>%1: no such key</source>
        <translation>%1：没有这个键</translation>
    </message>
    <message>
        <source>%1: given already on line %2</source>
        <translation>%1：第 %2 行已经给出</translation>
    </message>
    <message>
        <source>%1: not an option</source>
        <translation>%1：不是选项</translation>
    </message>
    <message>
        <source>%1: no such option</source>
        <translation>%1：没有这个选项</translation>
    </message>
    <message>
        <source>%1 takes no value</source>
        <translation>%1 不带值</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 需要一个值</translation>
    </message>
    <message>
        <source>%1: %2 cannot be read: %3</source>
        <translation>%1：无法读取 %2：%3</translation>
    </message>
    <message>
        <source>%1: %2 is too long</source>
        <translation>%1：%2 太长</translation>
    </message>
    <message>
        <source>no line to watch: give --port PATH|URL, or port = in the file</source>
        <translation>没有要监视的线路：请给出 --port 路径|URL，或在文件中写 port =</translation>
    </message>
    <message>
        <source>%1: %2 is not 1200, 2400, 4800, 9600, 19200, 115200 or auto</source>
        <translation>%1：%2 不是 1200、2400、4800、9600、19200、115200 或 auto</translation>
    </message>
    <message>
        <source>%1: a password needs a user name: give --user too</source>
        <translation>%1：密码需要用户名：请同时给出 --user</translation>
    </message>
    <message>
        <source>%1: %2 holds no password</source>
        <translation>%1：%2 中没有密码</translation>
    </message>
    <message>
        <source>%1: %2 is not a certificate in PEM form</source>
        <translation>%1：%2 不是 PEM 格式的证书</translation>
    </message>
    <message>
        <source>%1: %2 is not true or false</source>
        <translation>%1：%2 不是 true 或 false</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an address nor a range like 1-32</source>
        <translation>“%1”既不是地址，也不是 1-32 这样的范围</translation>
    </message>
    <message>
        <source>%1 is not an address: they run from 1 to 247</source>
        <translation>%1 不是地址：地址从 1 到 247</translation>
    </message>
    <message>
        <source>the range %1 runs backwards</source>
        <translation>范围 %1 是倒序的</translation>
    </message>
    <message>
        <source># Hygrovane gateway: the modules on the line at %1.
# Read by hygrovane-gateway --config FILE; the service
# hygrovane-gateway@NAME reads /etc/hygrovane/NAME.conf. An option on
# the command line overrides a key here.
</source>
        <translation># Hygrovane 网关：%1 上这条线路的模块。
# 由 hygrovane-gateway --config 文件 读取；服务
# hygrovane-gateway@名称 读取 /etc/hygrovane/名称.conf。命令行上的
# 选项优先于这里的键。
</translation>
    </message>
    <message>
        <source># No addresses: all of 1-247 are scanned at start, and what answers is watched.
</source>
        <translation># 未给出地址：启动时扫描 1-247 全部地址，监视有应答的模块。
</translation>
    </message>
    <message>
        <source># The password is never written here. Put it alone in
# /etc/hygrovane/NAME.password, readable by root only: the service
# hygrovane-gateway@NAME hands the gateway its own copy, named so:
# password-file = /run/credentials/hygrovane-gateway@NAME.service/password
</source>
        <translation># 密码从不写在这里。请把它单独放进
# /etc/hygrovane/名称.password，只允许 root 读取：服务
# hygrovane-gateway@名称 会把它的副本交给网关，路径如下：
# password-file = /run/credentials/hygrovane-gateway@名称.service/password
</translation>
    </message>
    <message>
        <source>%1: a raw TCP server cannot change the rate: give the rate the line is set up with</source>
        <translation>%1：原始 TCP 服务器无法更改波特率：请给出线路设定的波特率</translation>
    </message>
    <message>
        <source>%1: %2 is not a number of milliseconds from %3 to %4</source>
        <translation>%1：%2 不是 %3 到 %4 之间的毫秒数</translation>
    </message>
    <message>
        <source>%1: %2 is not a number of seconds from %3 to %4</source>
        <translation>%1：%2 不是 %3 到 %4 之间的秒数</translation>
    </message>
    <message>
        <source>%1: %2 is not a number of minutes from %3 to %4</source>
        <translation>%1：%2 不是 %3 到 %4 之间的分钟数</translation>
    </message>
    <message>
        <source>%1: %2 is not a number of readings from %3 to %4</source>
        <translation>%1：%2 不是 %3 到 %4 之间的读数个数</translation>
    </message>
    <message>
        <source>%1: %2 is not a number of clients from %3 to %4</source>
        <translation>%1：%2 不是 %3 到 %4 之间的客户端数</translation>
    </message>
    <message>
        <source>%1: a NUL byte: this is not a text file</source>
        <translation>%1：有一个 NUL 字节：这不是文本文件</translation>
    </message>
    <message>
        <source>%1: not UTF-8 text</source>
        <translation>%1：不是 UTF-8 文本</translation>
    </message>
    <message>
        <source>%1: a comment cannot follow a value: put it on a line of its own</source>
        <translation>%1：值后面不能跟注释：请把注释单独放在一行</translation>
    </message>
    <message>
        <source>%1: given twice</source>
        <translation>%1：给出了两次</translation>
    </message>
    <message>
        <source>%1: %2 is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT] with a port from 1 to 65535</source>
        <translation>%1：%2 不是 mqtt://主机[:端口] 或 mqtts://主机[:端口]（端口为 1 到 65535）</translation>
    </message>
    <message>
        <source>%1: %2 holds more than one line</source>
        <translation>%1：%2 中不止一行</translation>
    </message>
    <message>
        <source>%1: port %2 is given to --modbus-tcp already</source>
        <translation>%1：端口 %2 已给了 --modbus-tcp</translation>
    </message>
    <message>
        <source>nothing to do: give --broker, --record, --modbus-tcp or --rtu-over-tcp</source>
        <translation>无事可做：请给出 --broker、--record、--modbus-tcp 或 --rtu-over-tcp</translation>
    </message>
    <message>
        <source>Usage: hygrovane-gateway [options]
Watches the temperature-and-humidity modules on one serial line and publishes
their readings to an MQTT broker, as the bus window&apos;s watch does, without a
window.

  --config FILE         the options below from FILE, one key = value a line,
                        the key being the option without its dashes; an
                        option given here overrides the file&apos;s key. A line
                        that begins with # or ; is a comment
  --port PATH|URL       the line: a serial port (/dev/ttyUSB0,
                        /dev/serial/by-id/...) or a serial server&apos;s URL
  --baud N|auto         1200, 2400, 4800, 9600, 19200 or 115200, or auto to
                        search it as Link does (default auto)
  --addresses LIST      the modules to watch, e.g. 1-32,40 (default: scan
                        1-247 at start and watch what answers)
  --answer-ms N         how long a module may take to answer, 5 to 1000 ms
                        (default: from the answer time Link measures)
  --period S            a round of the watch, 0.1 to 3600 s (default 1)
  --rescan MINUTES      the addresses not watched are looked at again this
                        often, 0 to 1440 (default 10; 0: never)
  --broker URL          mqtt://host[:port] or mqtts://host[:port]
  --user NAME           the user name the broker knows the gateway by
  --password-file FILE  the password, alone in FILE (a password is never
                        taken on the command line)
  --ca FILE             the CA certificates (PEM) an mqtts:// broker&apos;s is
                        checked against (default: the system&apos;s)
  --prefix TOPIC        the topics&apos; first levels, at most 200 characters
                        (default hygrovane/&lt;host name&gt;/&lt;line&gt;, the line
                        being the --config file&apos;s name without .conf, or
                        else the port&apos;s last part)
  --no-discovery        announce no sensors to Home Assistant
  --spool FILE          the readings the broker has not acknowledged wait in
                        FILE, through restarts and power cuts (default: in
                        memory)
  --spool-max N         the most readings waiting, 1 to 100000000 (default
                        1000000); beyond, the oldest are dropped
  --record FILE.csv     also append every reading to FILE.csv
  --modbus-tcp [HOST:]PORT
                        share the line with other masters over Modbus TCP:
                        unit id = module address (a bare port listens on
                        127.0.0.1; 0.0.0.0:502 on every interface)
  --rtu-over-tcp [HOST:]PORT
                        the same with RTU frames and their CRC over TCP, as
                        the bus window links to tcp://HOST:PORT
  --allow-writes        pass their writes on (default: refused, exception 1)
  --cache-ms N          answer a read of what the watch polled less than N ms
                        ago from memory, 0 to 3600000; 0 sends every read
                        to the line (default: the period)
  --max-clients N       connections a listener takes at most, 1 to 1024
                        (default 16)
  --version             the version, and nothing else
  -h, --help            this text

An empty value is as good as none. Each event is one line on standard error.
On SIGTERM or SIGINT the gateway publishes &quot;offline&quot;, gives the readings
still waiting up to 5 s to reach the broker, and ends. On SIGHUP it reads its
options and files again, and goes on with the old ones if they are bad. A
bad option or key, one given twice, or a value out of its range ends it at
once with exit code 2.
</source>
        <translation>用法：hygrovane-gateway [选项]
监视一条串行线路上的温湿度模块，并把读数发布到 MQTT 代理服务器，
与总线窗口的监视相同，但不需要窗口。

  --config 文件         从文件读取下列选项，每行一个“键 = 值”，键即去掉
                        短横线的选项名；这里给出的选项优先于文件中的键。
                        以 # 或 ; 开头的行是注释
  --port 路径|URL       线路：串口（/dev/ttyUSB0、
                        /dev/serial/by-id/...）或串口服务器的 URL
  --baud N|auto         1200、2400、4800、9600、19200 或 115200，或 auto：
                        像“连接”一样搜索波特率（默认 auto）
  --addresses 列表      要监视的模块，如 1-32,40（默认：启动时扫描
                        1-247，监视有应答的模块）
  --answer-ms N         模块应答的最长等待，5 到 1000 毫秒
                        （默认：根据“连接”测得的应答时间）
  --period 秒           监视一轮的时间，0.1 到 3600 秒（默认 1）
  --rescan 分钟         每隔这么久重新查看未监视的地址，0 到 1440
                        （默认 10；0：从不）
  --broker URL          mqtt://主机[:端口] 或 mqtts://主机[:端口]
  --user 名称           代理服务器识别网关所用的用户名
  --password-file 文件  密码，单独放在文件中（命令行上从不接受
                        密码）
  --ca 文件             用于校验 mqtts:// 代理服务器证书的 CA 证书
                        （PEM）（默认：系统的证书）
  --prefix 主题         主题的前几级，最多 200 个字符（默认
                        hygrovane/&lt;主机名&gt;/&lt;线路&gt;，线路即 --config
                        文件名去掉 .conf，否则为端口路径的最后一段）
  --no-discovery        不向 Home Assistant 通告传感器
  --spool 文件          代理服务器尚未确认的读数保存在文件中等待，
                        重启和断电后仍在（默认：保存在内存中）
  --spool-max N         最多等待的读数，1 到 100000000（默认
                        1000000）；超出时丢弃最早的
  --record 文件.csv     同时把每个读数追加到 文件.csv
  --modbus-tcp [主机:]端口
                        通过 Modbus TCP 与其他主站共享线路：单元标识 =
                        模块地址（只给端口时仅在 127.0.0.1 上监听；
                        0.0.0.0:502 在所有网络接口上）
  --rtu-over-tcp [主机:]端口
                        同上，但通过 TCP 传送带 CRC 的 RTU 帧，总线窗口
                        以 tcp://主机:端口 连接到它
  --allow-writes        转发它们的写入（默认：拒绝，异常码 1）
  --cache-ms N          读取监视在 N 毫秒内轮询过的内容时从内存应答，
                        0 到 3600000；0 表示每次读取都发到线路上
                        （默认：监视一轮的时间）
  --max-clients N       每个监听端口最多接受的连接数，1 到 1024
                        （默认 16）
  --version             显示版本，不做其他事
  -h, --help            显示本说明

空值等于未给出。每个事件在标准错误输出上占一行。
收到 SIGTERM 或 SIGINT 时，网关发布“offline”，让仍在等待的读数
最多用 5 秒送达代理服务器，然后结束。收到 SIGHUP 时重新读取选项和
文件，有误时继续使用原来的配置。选项或键有误、重复给出，或数值超出
范围时，立即结束，退出码为 2。
</translation>
    </message>
</context>
<context>
    <name>gateway::Identity</name>
    <message>
        <source>the gateway on %1 for the port %2, started %3</source>
        <translation>%1 上用于端口 %2 的网关（启动于 %3）</translation>
    </message>
</context>
<context>
    <name>gateway::Notifier</name>
    <message>
        <source>linking to the line</source>
        <translation>正在连接线路</translation>
    </message>
    <message>
        <source>the line is down</source>
        <translation>线路中断</translation>
    </message>
    <message>
        <source>scanning the line</source>
        <translation>正在扫描线路</translation>
    </message>
    <message>
        <source>watching %1 of %2 modules</source>
        <translation>正在监视 %1/%2 个模块</translation>
    </message>
    <message>
        <source>no broker</source>
        <translation>无代理服务器</translation>
    </message>
    <message>
        <source>connecting to the broker</source>
        <translation>正在连接代理服务器</translation>
    </message>
    <message>
        <source>broker connected</source>
        <translation>已连接代理服务器</translation>
    </message>
    <message>
        <source>broker lost</source>
        <translation>与代理服务器的连接中断</translation>
    </message>
    <message>
        <source>broker refuses</source>
        <translation>代理服务器拒绝</translation>
    </message>
    <message>
        <source>%1, %2, %3 waiting</source>
        <translation>%1，%2，%3 个读数等待中</translation>
    </message>
</context>
<context>
    <name>gateway::Service</name>
    <message numerus="yes">
        <source>%n module found at %1 baud: %2</source>
        <translation>
            <numerusform>在 %1 波特率下找到 %n 个模块：%2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n modules found at %1 baud: %2</source>
        <translation>
            <numerusform>在 %1 波特率下找到 %n 个模块：%2</numerusform>
        </translation>
    </message>
    <message>
        <source>The record %1 cannot be written: %2</source>
        <translation>无法写入记录 %1：%2</translation>
    </message>
    <message>
        <source>Module %1 answers.</source>
        <translation>模块 %1 有应答。</translation>
    </message>
    <message>
        <source>Module %1 has gone silent.</source>
        <translation>模块 %1 已无应答。</translation>
    </message>
    <message>
        <source>Hygrovane gateway starting: port %1, %2, addresses %3, broker %4.</source>
        <translation>Hygrovane 网关启动：端口 %1，%2，地址 %3，代理服务器 %4。</translation>
    </message>
    <message>
        <source>%1 baud</source>
        <translation>%1 波特</translation>
    </message>
    <message>
        <source>the rate searched</source>
        <translation>搜索波特率</translation>
    </message>
    <message>
        <source>1-247 scanned</source>
        <translation>扫描 1-247</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>The record %1 holds something else than readings: choose another file.</source>
        <translation>记录 %1 中保存的不是读数：请选择其他文件。</translation>
    </message>
    <message>
        <source>The record %1 cannot be opened: %2</source>
        <translation>无法打开记录 %1：%2</translation>
    </message>
    <message>
        <source>Publishing cannot start: %1</source>
        <translation>无法开始发布：%1</translation>
    </message>
    <message>
        <source>The port %1 cannot be opened: %2. Trying again every 2 s.</source>
        <translation>无法打开端口 %1：%2。每 2 秒重试一次。</translation>
    </message>
    <message>
        <source>The port %1 is back.</source>
        <translation>端口 %1 已恢复。</translation>
    </message>
    <message>
        <source>The port %1 is open.</source>
        <translation>端口 %1 已打开。</translation>
    </message>
    <message>
        <source>No module answers at any rate. Trying again in 2 s.</source>
        <translation>在所有波特率下均无模块应答。2 秒后重试。</translation>
    </message>
    <message>
        <source>Linked at %1 baud; each module has %2 ms to answer.</source>
        <translation>已以 %1 波特率连接；每个模块有 %2 毫秒应答时间。</translation>
    </message>
    <message>
        <source>Scanning addresses 1-247 at %1 baud.</source>
        <translation>正在以 %1 波特率扫描地址 1-247。</translation>
    </message>
    <message>
        <source>The port %1 stopped working: %2. Trying again every 2 s.</source>
        <translation>端口 %1 停止工作：%2。每 2 秒重试一次。</translation>
    </message>
    <message>
        <source>The broker is back.</source>
        <translation>代理服务器已恢复。</translation>
    </message>
    <message>
        <source>Connected to the broker.</source>
        <translation>已连接到代理服务器。</translation>
    </message>
    <message>
        <source>The broker is lost: %1</source>
        <translation>与代理服务器的连接中断：%1</translation>
    </message>
    <message>
        <source>The broker refuses: %1</source>
        <translation>代理服务器拒绝：%1</translation>
    </message>
    <message>
        <source>Readings dropped from the outbox, the broker away too long: %1.</source>
        <translation>代理服务器离线过久，发件箱丢弃的读数：%1。</translation>
    </message>
    <message>
        <source>Stopping.</source>
        <translation>正在停止。</translation>
    </message>
    <message>
        <source>Readings not published: %1.</source>
        <translation>未发布的读数：%1。</translation>
    </message>
    <message>
        <source>No module answers at %1 baud. Scanning again in 10 s.</source>
        <translation>在 %1 波特率下没有模块应答。10 秒后重新扫描。</translation>
    </message>
    <message>
        <source>Watching addresses %1 at %2 baud.</source>
        <translation>正在以 %2 波特率监视地址 %1。</translation>
    </message>
    <message>
        <source>address %1: only garbled answers: two modules at one address, or noise</source>
        <translation>地址 %1：只有乱码应答：一个地址上有两个模块，或是线路噪声</translation>
    </message>
    <message>
        <source>Module %1 found at %2 baud by the rescan: watched from now on.</source>
        <translation>重新扫描在 %2 波特率下找到模块 %1：从现在起监视它。</translation>
    </message>
    <message numerus="yes">
        <source>a round of %n modules takes %1 s at %2 baud, longer than the period of %3 s</source>
        <translation>
            <numerusform>%n 个模块一轮需要 %1 秒（%2 波特率），比周期 %3 秒更长</numerusform>
        </translation>
    </message>
    <message>
        <source>A spool keeps readings for a broker: give --broker too.</source>
        <translation>缓存为代理服务器保存读数：请同时给出 --broker。</translation>
    </message>
    <message>
        <source>The spool %1 holds %2 readings from before: they go first.</source>
        <translation>缓存 %1 中有之前的 %2 个读数：先发送它们。</translation>
    </message>
    <message>
        <source>Readings are spooled in %1.</source>
        <translation>读数缓存在 %1 中。</translation>
    </message>
    <message>
        <source>The prefix %1 is in use by %2: give this line a prefix of its own (--prefix).</source>
        <translation>前缀 %1 正被%2使用：请为本线路指定自己的前缀（--prefix）。</translation>
    </message>
    <message>
        <source>The prefix %1 is in use by %2: going on with the broker settings from before.</source>
        <translation>前缀 %1 正被%2使用：继续使用原来的代理服务器设置。</translation>
    </message>
    <message>
        <source>The spool %1 is written again.</source>
        <translation>缓存 %1 已恢复写入。</translation>
    </message>
    <message>
        <source>The spool %1 cannot be written: %2. The readings wait in memory meanwhile.</source>
        <translation>无法写入缓存 %1：%2。读数暂时在内存中等待。</translation>
    </message>
    <message>
        <source>Readings kept in the spool for the next start: %1.</source>
        <translation>保存在缓存中、留待下次启动的读数：%1。</translation>
    </message>
    <message>
        <source>The configuration is not taken: %1. The gateway goes on as it was.</source>
        <translation>未采用该配置：%1。网关按原样继续运行。</translation>
    </message>
    <message>
        <source>The spool changes at the next start.</source>
        <translation>缓存在下次启动时更改。</translation>
    </message>
    <message>
        <source>Configuration read again: nothing to change.</source>
        <translation>已重新读取配置：无需更改。</translation>
    </message>
    <message>
        <source>Configuration read again: publishing anew.</source>
        <translation>已重新读取配置：重新发布。</translation>
    </message>
    <message>
        <source>Configuration read again: watching anew.</source>
        <translation>已重新读取配置：重新监视。</translation>
    </message>
    <message>
        <source>Configuration read again: publishing and watching anew.</source>
        <translation>已重新读取配置：重新发布并重新监视。</translation>
    </message>
</context>
<context>
    <name>gateway::Signals</name>
    <message>
        <source>SIGTERM, SIGINT and SIGHUP cannot be caught: %1</source>
        <translation>无法捕获 SIGTERM、SIGINT 和 SIGHUP：%1</translation>
    </message>
    <message>
        <source>SIGTERM, SIGINT and SIGHUP are caught already</source>
        <translation>SIGTERM、SIGINT 和 SIGHUP 已被捕获</translation>
    </message>
</context>
<context>
    <name>gateway::Spool</name>
    <message>
        <source>an unknown error of SQLite</source>
        <translation>SQLite 未知错误</translation>
    </message>
    <message>
        <source>%1 is not a spool of the gateway&apos;s: it holds something else. Choose another file; this one is left as it is.</source>
        <translation>%1 不是网关的缓存：其中保存的是别的内容。请选择其他文件；此文件保持原样。</translation>
    </message>
    <message>
        <source>not of this version&apos;s making</source>
        <translation>不是本版本创建的</translation>
    </message>
    <message>
        <source>readings missing between others</source>
        <translation>读数之间有缺失</translation>
    </message>
    <message>
        <source>%1 cannot be opened as a spool: %2</source>
        <translation>无法把 %1 作为缓存打开：%2</translation>
    </message>
    <message>
        <source>%1 is a damaged spool (%2). It is left as it is: move it away to start with an empty one.</source>
        <translation>%1 是损坏的缓存（%2）。它保持原样：把它移走即可从空缓存开始。</translation>
    </message>
    <message>
        <source>%1 cannot be made a spool: %2</source>
        <translation>无法把 %1 做成缓存：%2</translation>
    </message>
    <message>
        <source>%1 cannot be written ahead (WAL): %2</source>
        <translation>无法以预写日志（WAL）方式写入 %1：%2</translation>
    </message>
    <message>
        <source>the spool is not open</source>
        <translation>缓存未打开</translation>
    </message>
</context>
<context>
    <name>publish::Publisher</name>
    <message>
        <source>not started</source>
        <translation>未启动</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>no answer from the broker</source>
        <translation>代理服务器无应答</translation>
    </message>
    <message>
        <source>the broker address is not mqtt://host:port or mqtts://host:port</source>
        <translation>代理服务器地址不是 mqtt://主机:端口 或 mqtts://主机:端口</translation>
    </message>
    <message>
        <source>the host %1 is not found: %2</source>
        <translation>找不到主机 %1：%2</translation>
    </message>
    <message>
        <source>the CA file %1 cannot be read</source>
        <translation>无法读取 CA 文件 %1</translation>
    </message>
    <message>
        <source>the broker refused the user name or password</source>
        <translation>代理服务器拒绝了用户名或密码</translation>
    </message>
    <message>
        <source>the broker refused the connection (code %1)</source>
        <translation>代理服务器拒绝连接（代码 %1）</translation>
    </message>
    <message>
        <source>TLS failed: the broker&apos;s certificate is not trusted or does not name the host</source>
        <translation>TLS 失败：代理服务器的证书不受信任或与主机名不符</translation>
    </message>
    <message>
        <source>%1 (trying again in %2 s)</source>
        <translation>%1（%2 秒后重试）</translation>
    </message>
    <message>
        <source>the CA file %1 is not a certificate in PEM form</source>
        <translation>CA 文件 %1 不是 PEM 格式的证书</translation>
    </message>
    <message>
        <source>the system&apos;s certificates in %1 cannot be read</source>
        <translation>无法读取 %1 中的系统证书</translation>
    </message>
    <message>
        <source>the broker hung up without answering: is that port a TLS one (mqtts://)?</source>
        <translation>代理服务器未应答就断开了连接：该端口是否为 TLS 端口（mqtts://）？</translation>
    </message>
    <message>
        <source>no broker listens at that address and port</source>
        <translation>该地址和端口上没有代理服务器在监听</translation>
    </message>
    <message>
        <source>the broker&apos;s computer did not answer in time</source>
        <translation>代理服务器所在的计算机未及时应答</translation>
    </message>
    <message>
        <source>the broker&apos;s network cannot be reached</source>
        <translation>无法到达代理服务器所在的网络</translation>
    </message>
    <message>
        <source>the broker&apos;s computer cannot be reached</source>
        <translation>无法到达代理服务器所在的计算机</translation>
    </message>
    <message>
        <source>the connection was cut off</source>
        <translation>连接被中断</translation>
    </message>
    <message>
        <source>the broker&apos;s address cannot be reached from this computer</source>
        <translation>从本机无法到达代理服务器的地址</translation>
    </message>
    <message>
        <source>this computer cannot reach that kind of address</source>
        <translation>本机无法连接此类地址</translation>
    </message>
    <message>
        <source>the system does not allow the connection (a firewall?)</source>
        <translation>系统不允许此连接（防火墙？）</translation>
    </message>
    <message>
        <source>the system is out of memory</source>
        <translation>系统内存不足</translation>
    </message>
    <message>
        <source>too many files and connections are open</source>
        <translation>打开的文件和连接过多</translation>
    </message>
    <message>
        <source>the connection broke its protocol</source>
        <translation>连接违反了协议</translation>
    </message>
    <message>
        <source>an error the system does not name</source>
        <translation>系统未说明的错误</translation>
    </message>
    <message>
        <source>an unexpected error of the system (%1)</source>
        <translation>系统意外错误（%1）</translation>
    </message>
    <message>
        <source>the broker goes on authenticating</source>
        <translation>代理服务器仍在进行身份验证</translation>
    </message>
    <message>
        <source>no one subscribes to the topic</source>
        <translation>没有人订阅该主题</translation>
    </message>
    <message>
        <source>the subscription exists already</source>
        <translation>该订阅已存在</translation>
    </message>
    <message>
        <source>the connection is still being made</source>
        <translation>连接仍在建立中</translation>
    </message>
    <message>
        <source>no error</source>
        <translation>无错误</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>the broker broke the MQTT protocol</source>
        <translation>代理服务器违反了 MQTT 协议</translation>
    </message>
    <message>
        <source>the MQTT library refused a value it was given</source>
        <translation>MQTT 库拒绝了传给它的值</translation>
    </message>
    <message>
        <source>not connected to the broker</source>
        <translation>未连接到代理服务器</translation>
    </message>
    <message>
        <source>the broker refused the connection</source>
        <translation>代理服务器拒绝连接</translation>
    </message>
    <message>
        <source>what was asked for is not there</source>
        <translation>所请求的内容不存在</translation>
    </message>
    <message>
        <source>the connection to the broker was lost</source>
        <translation>与代理服务器的连接已丢失</translation>
    </message>
    <message>
        <source>TLS failed</source>
        <translation>TLS 失败</translation>
    </message>
    <message>
        <source>a message is too long for MQTT</source>
        <translation>消息超出 MQTT 允许的长度</translation>
    </message>
    <message>
        <source>the MQTT library on this computer cannot do that</source>
        <translation>本机的 MQTT 库不支持此功能</translation>
    </message>
    <message>
        <source>the broker did not accept the authentication</source>
        <translation>代理服务器未接受身份验证</translation>
    </message>
    <message>
        <source>the broker does not allow this user that topic</source>
        <translation>代理服务器不允许此用户使用该主题</translation>
    </message>
    <message>
        <source>an error the MQTT library does not name</source>
        <translation>MQTT 库未说明的错误</translation>
    </message>
    <message>
        <source>the broker&apos;s host name cannot be resolved</source>
        <translation>无法解析代理服务器的主机名</translation>
    </message>
    <message>
        <source>the proxy failed</source>
        <translation>代理失败</translation>
    </message>
    <message>
        <source>a plug-in of the broker put off the decision</source>
        <translation>代理服务器的插件推迟了决定</translation>
    </message>
    <message>
        <source>a text is not valid UTF-8</source>
        <translation>文本不是有效的 UTF-8</translation>
    </message>
    <message>
        <source>the broker stopped answering the keep-alive</source>
        <translation>代理服务器不再应答保活请求</translation>
    </message>
    <message>
        <source>the broker&apos;s host name could not be looked up</source>
        <translation>无法查询代理服务器的主机名</translation>
    </message>
    <message>
        <source>the broker sent a malformed packet</source>
        <translation>代理服务器发送了格式错误的数据包</translation>
    </message>
    <message>
        <source>the broker sent a property twice in one packet</source>
        <translation>代理服务器在一个数据包中重复发送了同一属性</translation>
    </message>
    <message>
        <source>the TLS handshake failed</source>
        <translation>TLS 握手失败</translation>
    </message>
    <message>
        <source>the broker does not take messages at QoS 1</source>
        <translation>代理服务器不接受 QoS 1 的消息</translation>
    </message>
    <message>
        <source>a message is larger than the broker takes</source>
        <translation>消息超出代理服务器接受的大小</translation>
    </message>
    <message>
        <source>the broker&apos;s certificate is revoked, or its revocation cannot be checked</source>
        <translation>代理服务器的证书已被吊销，或无法检查其吊销状态</translation>
    </message>
    <message>
        <source>the broker did not answer in time</source>
        <translation>代理服务器未及时应答</translation>
    </message>
    <message>
        <source>the broker does not keep retained messages</source>
        <translation>代理服务器不保留保留消息</translation>
    </message>
    <message>
        <source>the broker refused a topic alias</source>
        <translation>代理服务器拒绝了主题别名</translation>
    </message>
    <message>
        <source>the broker&apos;s administrator ended the connection</source>
        <translation>代理服务器的管理员结束了连接</translation>
    </message>
    <message>
        <source>it exists already</source>
        <translation>已存在</translation>
    </message>
    <message>
        <source>an unexpected error of the MQTT library (code %1)</source>
        <translation>MQTT 库意外错误（代码 %1）</translation>
    </message>
    <message>
        <source>the CA file %1 holds no certificate the TLS library can use</source>
        <translation>CA 文件 %1 中没有 TLS 库可用的证书</translation>
    </message>
    <message>
        <source>the broker does not speak TLS at that port: is it a plain one (mqtt://)?</source>
        <translation>代理服务器在该端口上不使用 TLS：是否为普通端口（mqtt://）？</translation>
    </message>
    <message>
        <source>TLS failed: the broker and this computer share no TLS version or cipher</source>
        <translation>TLS 失败：代理服务器与本机没有共同的 TLS 版本或加密算法</translation>
    </message>
    <message>
        <source>TLS failed (%1)</source>
        <translation>TLS 失败（%1）</translation>
    </message>
    <message>
        <source>the topic prefix is empty</source>
        <translation>主题前缀为空</translation>
    </message>
    <message>
        <source>the topic prefix holds %1, a wildcard of MQTT</source>
        <translation>主题前缀含有 MQTT 通配符 %1</translation>
    </message>
    <message>
        <source>the topic prefix begins or ends with /</source>
        <translation>主题前缀以 / 开头或结尾</translation>
    </message>
    <message>
        <source>the topic prefix has an empty level (//)</source>
        <translation>主题前缀含有空层级（//）</translation>
    </message>
    <message>
        <source>the topic prefix begins with $, which brokers keep for their own topics</source>
        <translation>主题前缀以 $ 开头，这是代理服务器保留给自身主题的</translation>
    </message>
    <message>
        <source>the topic prefix has %1 characters, more than the %2 it may have</source>
        <translation>主题前缀有 %1 个字符，超过了允许的 %2 个</translation>
    </message>
    <message>
        <source>the topic prefix holds a control character or another that MQTT does not take</source>
        <translation>主题前缀含有控制字符或其他 MQTT 不接受的字符</translation>
    </message>
</context>
<context>
    <name>share::Forwarder</name>
    <message>
        <source>two modules share address %1</source>
        <translation>两个模块共用地址 %1</translation>
    </message>
    <message>
        <source>The module at address %1 answers at %2 now; the watch follows it.</source>
        <translation>地址 %1 的模块现在在地址 %2 应答；监视随之跟进。</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>无应答</translation>
    </message>
    <message>
        <source>a garbled answer</source>
        <translation>应答损坏</translation>
    </message>
    <message>
        <source>refused by the module (exception %1)</source>
        <translation>被模块拒绝（异常码 %1）</translation>
    </message>
    <message>
        <source>refused (exception %1)</source>
        <translation>被拒绝（异常码 %1）</translation>
    </message>
    <message>
        <source>done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Write from %1 to module %2, function %3 at %4: %5.</source>
        <translation>来自 %1 对模块 %2 的写入，功能码 %3，地址 %4：%5。</translation>
    </message>
</context>
<context>
    <name>share::Listener</name>
    <message>
        <source>%1 cannot take a client: %2</source>
        <translation>%1 无法接受客户端：%2</translation>
    </message>
    <message>
        <source>%1 cannot listen on %2: %3</source>
        <translation>%1 无法在 %2 上监听：%3</translation>
    </message>
    <message>
        <source>%1 listening on %2.</source>
        <translation>%1 在 %2 上监听。</translation>
    </message>
    <message>
        <source>%1 listening on %2, open to other hosts as asked: Modbus has no authentication, so only a trusted network may reach it.</source>
        <translation>%1 在 %2 上监听，按要求对其他主机开放：Modbus 没有身份验证，只应让可信网络访问它。</translation>
    </message>
    <message>
        <source>%1: the client %2 is turned away: %3 clients are connected already.</source>
        <translation>%1：拒绝客户端 %2：已有 %3 个客户端连接。</translation>
    </message>
    <message>
        <source>silent for %1 s</source>
        <translation>已 %1 秒无数据</translation>
    </message>
    <message>
        <source>a request cut short for %1 s</source>
        <translation>请求中断已 %1 秒</translation>
    </message>
    <message>
        <source>a malformed MBAP header</source>
        <translation>MBAP 报头格式错误</translation>
    </message>
    <message>
        <source>bytes that make no request</source>
        <translation>字节不构成请求</translation>
    </message>
    <message>
        <source>it does not read its answers</source>
        <translation>它不读取自己的应答</translation>
    </message>
    <message>
        <source>%1: the client %2 is closed: %3.</source>
        <translation>%1：关闭客户端 %2：%3。</translation>
    </message>
    <message>
        <source>%1 is not [HOST:]PORT with a port from 1 to 65535</source>
        <translation>%1 不是 [主机:]端口，端口应为 1 到 65535</translation>
    </message>
    <message>
        <source>%1: the host is not an IP address (0.0.0.0, 192.0.2.7, [::1]) nor localhost</source>
        <translation>%1：主机不是 IP 地址（0.0.0.0、192.0.2.7、[::1]），也不是 localhost</translation>
    </message>
</context>
</TS>
