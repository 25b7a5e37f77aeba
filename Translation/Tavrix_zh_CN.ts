<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CanDataExporter</name>
    <message>
        <source>CAN type</source>
        <translation>CAN 类型</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>Data frame </source>
        <translation>数据帧 </translation>
    </message>
    <message>
        <source>Direction</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Extend frame</source>
        <translation>扩展帧</translation>
    </message>
    <message>
        <source>FD BRS</source>
        <translation>FD 加速</translation>
    </message>
    <message>
        <source>Frame format</source>
        <translation>帧格式</translation>
    </message>
    <message>
        <source>Frame type</source>
        <translation>帧类型</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>长度</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Remote frame</source>
        <translation>远程帧</translation>
    </message>
    <message>
        <source>Rx </source>
        <translation>接收 </translation>
    </message>
    <message>
        <source>Standard frame </source>
        <translation>标准帧 </translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Tx </source>
        <translation>发送 </translation>
    </message>
    <message>
        <source>there are no frames to write</source>
        <translation>没有可写入的帧</translation>
    </message>
    <message>
        <source>the folder does not exist</source>
        <translation>文件夹不存在</translation>
    </message>
    <message>
        <source>no permission to write there</source>
        <translation>没有写入权限</translation>
    </message>
    <message>
        <source>no space left on the disk</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>the file was removed while it was written</source>
        <translation>文件在写入时被删除</translation>
    </message>
    <message>
        <source>the file could not be written (%1)</source>
        <translation>无法写入文件（%1）</translation>
    </message>
</context>
<context>
    <name>DataModel</name>
    <message>
        <source>Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>Data frame</source>
        <translation>数据帧</translation>
    </message>
    <message>
        <source>Dir</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>Extended frame</source>
        <translation>扩展帧</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>帧格式</translation>
    </message>
    <message>
        <source>Len</source>
        <translation>长度</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>序号.</translation>
    </message>
    <message>
        <source>Pro</source>
        <translation>协议</translation>
    </message>
    <message>
        <source>Remote frame</source>
        <translation>远程帧</translation>
    </message>
    <message>
        <source>Standard frame</source>
        <translation>标准帧</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>帧类型</translation>
    </message>
    <message>
        <source>rec</source>
        <translation>接收</translation>
    </message>
    <message>
        <source>send</source>
        <translation>发送</translation>
    </message>
</context>
<context>
    <name>DatabaseControl</name>
    <message>
        <source>; warnings: %1</source>
        <translation>；警告：%1</translation>
    </message>
    <message>
        <source>Clear databases</source>
        <translation>清除数据库</translation>
    </message>
    <message>
        <source>DBC databases (*.dbc);;All files (*)</source>
        <translation>DBC 数据库 (*.dbc);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>数据库</translation>
    </message>
    <message>
        <source>Database not loaded: %1</source>
        <translation>数据库未加载：%1</translation>
    </message>
    <message>
        <source>Database not loaded: %1 (and %2 more)</source>
        <translation>数据库未加载：%1（另有 %2 个）</translation>
    </message>
    <message>
        <source>Database...</source>
        <translation>数据库…</translation>
    </message>
    <message>
        <source>Databases unloaded: no message names</source>
        <translation>已卸载数据库：不再显示报文名称</translation>
    </message>
    <message>
        <source>Databases loaded: %1; messages: %2</source>
        <translation>已加载数据库：%1；报文数：%2</translation>
    </message>
    <message>
        <source>Load DBC databases: message names and signals</source>
        <translation>加载 DBC 数据库：报文名称与信号</translation>
    </message>
    <message>
        <source>Select databases</source>
        <translation>选择数据库</translation>
    </message>
    <message>
        <source>Warnings: %1 (see the details)</source>
        <translation>警告：%1（见详细信息）</translation>
    </message>
</context>
<context>
    <name>FilterBar</name>
    <message>
        <source>Filter (Ctrl+F): 100-1FF  18DA00F1x  !7DF  ch 2  rx  tx  fd  classic  remote  t 10.5-20  data 02 10 ??</source>
        <translation>过滤 (Ctrl+F)：100-1FF  18DA00F1x  !7DF  ch 2  rx  tx  fd  classic  remote  t 10.5-20  data 02 10 ??</translation>
    </message>
    <message>
        <source>Show matching frames only</source>
        <translation>只显示匹配的帧</translation>
    </message>
    <message>
        <source>Jump to matching frames (F3, Shift+F3)</source>
        <translation>跳转到匹配的帧 (F3, Shift+F3)</translation>
    </message>
    <message>
        <source>Filter or jump</source>
        <translation>过滤或跳转</translation>
    </message>
    <message>
        <source>Terms separated by blanks must all hold:
  100  0x100  100-1FF  100,200-2FF   identifiers in hex; x at the end: extended only, as 18DA00F1x
  !7DF   any identifier but these
  ch 2  ch 1,3   channels
  rx  tx   received or sent frames
  fd  classic   CAN FD or classic CAN frames
  remote   remote frames
  t 10.5-20  t 10-  t -20   seconds since the log's first frame
  data 02 10 ??   payload bytes from the first on, ?? for any byte
  name Brake*   messages of a loaded database by name</source>
        <translation>各项以空格分隔，须同时满足：
  100  0x100  100-1FF  100,200-2FF   十六进制标识符；末尾加 x：仅扩展帧，如 18DA00F1x
  !7DF   排除这些标识符
  ch 2  ch 1,3   通道
  rx  tx   接收或发送的帧
  fd  classic   CAN FD 帧或经典 CAN 帧
  remote   远程帧
  t 10.5-20  t 10-  t -20   自日志第一帧起的秒数
  data 02 10 ??   从第一个字节起的数据，?? 表示任意字节
  name Brake*   按名称选择已加载数据库中的报文</translation>
    </message>
    <message>
        <source>Filtering...</source>
        <translation>正在过滤...</translation>
    </message>
    <message>
        <source>%1 of %2 frames</source>
        <translation>%1 / %2 帧</translation>
    </message>
</context>
<context>
    <name>FrameFilter</name>
    <message>
        <source>'ch' needs channel numbers from 0 to 255, as in ch 2 or ch 1,3</source>
        <translation>'ch' 需要 0 到 255 的通道号，例如 ch 2 或 ch 1,3</translation>
    </message>
    <message>
        <source>'t' needs a range of seconds since the first frame, as in t 10.5-20, t 10- or t -20</source>
        <translation>'t' 需要自第一帧起的秒数范围，例如 t 10.5-20、t 10- 或 t -20</translation>
    </message>
    <message>
        <source>'data' needs bytes in hex, ?? for any byte, as in data 02 10 ??</source>
        <translation>'data' 需要十六进制字节，?? 表示任意字节，例如 data 02 10 ??</translation>
    </message>
    <message>
        <source>'name' needs a message name, * for any text, as in name Brake*</source>
        <translation>'name' 需要报文名称，* 表示任意文本，例如 name Brake*</translation>
    </message>
    <message>
        <source>'name' needs a database: load one with Database...</source>
        <translation>'name' 需要数据库：请先用“数据库...”加载</translation>
    </message>
    <message>
        <source>'%1' is neither an identifier, a range of them nor a word of the filter (ch, rx, tx, fd, classic, remote, t, data, name)</source>
        <translation>'%1' 既不是标识符或标识符范围，也不是过滤器的关键字 (ch, rx, tx, fd, classic, remote, t, data, name)</translation>
    </message>
</context>
<context>
    <name>OverviewDialog</name>
    <message>
        <source>Overview</source>
        <translation>概览</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>通道</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>数量</translation>
    </message>
    <message>
        <source>Lengths</source>
        <translation>长度</translation>
    </message>
    <message>
        <source>First (s)</source>
        <translation>首次 (秒)</translation>
    </message>
    <message>
        <source>Last (s)</source>
        <translation>末次 (秒)</translation>
    </message>
    <message>
        <source>Min period (s)</source>
        <translation>最小周期 (秒)</translation>
    </message>
    <message>
        <source>Mean period (s)</source>
        <translation>平均周期 (秒)</translation>
    </message>
    <message>
        <source>Max period (s)</source>
        <translation>最大周期 (秒)</translation>
    </message>
    <message>
        <source>Rx</source>
        <translation>接收</translation>
    </message>
    <message>
        <source>Tx</source>
        <translation>发送</translation>
    </message>
    <message>
        <source>Counting %1 frames...</source>
        <translation>正在统计 %1 帧...</translation>
    </message>
    <message>
        <source>%1 frames, %2 identifiers and channels; double-click a row to show only its identifier</source>
        <translation>%1 帧，%2 个标识符与通道组合；双击一行只显示该标识符</translation>
    </message>
</context>
<context>
    <name>ReadReport</name>
    <message>
        <source>the file does not exist</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>it is a folder, not a file</source>
        <translation>这是文件夹，不是文件</translation>
    </message>
    <message>
        <source>no permission to read it</source>
        <translation>没有读取权限</translation>
    </message>
    <message>
        <source>unsupported format; readable formats: %1</source>
        <translation>不支持的格式；可读取的格式：%1</translation>
    </message>
    <message>
        <source>not a BLF file</source>
        <translation>不是 BLF 文件</translation>
    </message>
    <message>
        <source>no frames in the file</source>
        <translation>文件中没有帧</translation>
    </message>
    <message>
        <source>no frames in the file; a CSV log needs the nine columns of the header Tavrix writes</source>
        <translation>文件中没有帧；CSV 日志需要 Tavrix 所写表头的九列</translation>
    </message>
    <message>
        <source>the file cannot be read</source>
        <translation>无法读取该文件</translation>
    </message>
</context>
<context>
    <name>SignalPanel</name>
    <message>
        <source>Raw (hex)</source>
        <translation>原始值(十六进制)</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>信号</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Value text</source>
        <translation>值描述</translation>
    </message>
</context>
<context>
    <name>Tavrix</name>
    <message>
        <source>Signals</source>
        <translation>信号</translation>
    </message>
    <message>
        <source>Overview</source>
        <translation>概览</translation>
    </message>
    <message>
        <source>%1 of %2 frames written (filtered)</source>
        <translation>已写入 %2 帧中的 %1 帧（已过滤）</translation>
    </message>
    <message>
        <source>Add file</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>Conversion</source>
        <translation>转换</translation>
    </message>
    <message>
        <source>Conversion Control</source>
        <translation>转换设置与控制</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Kelvane</source>
        <translation>Kelvane-ZH</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>目标格式:</translation>
    </message>
    <message>
        <source>Hit</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>ID sorting:</source>
        <translation>ID 排序:</translation>
    </message>
    <message>
        <source>No data available</source>
        <translation>没有可用数据</translation>
    </message>
    <message>
        <source>Operation Complete</source>
        <translation>操作完成</translation>
    </message>
    <message>
        <source>Output path:</source>
        <translation>输出路径:</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>Select Files</source>
        <translation>选择文件</translation>
    </message>
    <message>
        <source>Translate</source>
        <translation>翻译</translation>
    </message>
    <message>
        <source>Conversion failed</source>
        <translation>转换失败</translation>
    </message>
    <message>
        <source>Too many frames: only the first %1 are shown</source>
        <translation>帧数过多：仅显示前 %1 帧</translation>
    </message>
    <message>
        <source>Reading %1: %2 frames, %3%</source>
        <translation>正在读取 %1：%2 帧，%3%</translation>
    </message>
    <message>
        <source>%1 frames read from %2 in %3 s</source>
        <translation>已从 %2 读取 %1 帧，用时 %3 秒</translation>
    </message>
    <message>
        <source>%1 ends early (damaged or cut): %2 frames read</source>
        <translation>%1 提前结束（已损坏或被截断）：读取了 %2 帧</translation>
    </message>
    <message>
        <source>The first %1 frames of %2 are shown: the table holds no more</source>
        <translation>显示 %2 的前 %1 帧：表格已满</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>Writing %1...</source>
        <translation>正在写入 %1...</translation>
    </message>
    <message>
        <source>%1 written: %2 frames</source>
        <translation>已写入 %1：%2 帧</translation>
    </message>
    <message>
        <source>Writing %1 failed: %2</source>
        <translation>写入 %1 失败：%2</translation>
    </message>
</context>
<context>
    <name>TavrixClass</name>
    <message>
        <source>Conversion Control</source>
        <translation>转换设置与控制</translation>
    </message>
    <message>
        <source>Kelvane</source>
        <translation>Kelvane-ZH</translation>
    </message>
    <message>
        <source>default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>from large to small</source>
        <translation>从大到小</translation>
    </message>
    <message>
        <source>from small to large</source>
        <translation>从小到大</translation>
    </message>
</context>
</TS>
