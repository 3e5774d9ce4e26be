// Skin mark-up in the dialect of the program's skins, shaped like the main
// window, the system list row, the tool tile and the data backup window.
// Tests, fuzz seeds and the benchmark use them until the real skin files
// are checked in.
#pragma once

namespace SkinUI {
namespace testing {

inline const char kMainSkin[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="900,637" caption="0,0,0,34" mininfo="900,637" maxinfo="900,637" showshadow="true" shadowsize="5" shadowposition="1,1" shadowcolor="#333333">
  <Font name="微软雅黑" size="15" bold="false" default="true" />
  <Font name="微软雅黑" size="13" bold="false" />
  <Font name="微软雅黑" size="16" bold="false" />
  <Font name="微软雅黑" size="18" bold="false" />
  <Default name="VScrollBar" value="button1normalimage=&quot;file='scrollbar.bmp' source='0,0,16,16'&quot; button2normalimage=&quot;file='scrollbar.bmp' source='0,32,16,48'&quot; thumbnormalimage=&quot;file='scrollbar.bmp' source='0,48,16,64' corner='2,2,2,2'&quot; bknormalimage=&quot;file='scrollbar.bmp' source='0,64,16,80'&quot; width=&quot;10&quot;" />
  <VerticalLayout bkcolor="#FFFFFFFF">
    <!-- caption bar -->
    <HorizontalLayout height="34" bkcolor="#ffeff5f8">
      <Label name="labcaption" width="235" bkimage="file='ico.png' dest='0,7,20,27'" textpadding="25,0,0,0" font="0" text="Kavi一键重装系统" />
      <Button name="btnfeedback" width="40" padding="524,0,0,0" text="反馈" font="1" textcolor="#FF3D559E" />
      <Button name="btnmin" width="40" normalimage="file='min.png' source='0,0,40,34'" hotimage="file='min.png' source='40,0,80,34'" pushedimage="file='min.png' source='80,0,120,34'" />
      <Button name="btnclose" width="50" normalimage="file='close.png' source='0,0,50,34'" hotimage="file='close.png' source='50,0,100,34'" pushedimage="file='close.png' source='100,0,150,34'" />
    </HorizontalLayout>
    <HorizontalLayout height="567">
      <TabLayout name="tabmain" width="580" selectedid="0">
        <!-- page 0: start -->
        <VerticalLayout>
          <Button name="btninstall" width="192" height="192" padding="190,140,0,0" normalimage="file='scanbtn.png' source='0,0,192,192'" hotimage="file='scanbtn.png' source='192,0,384,192'" pushedimage="file='scanbtn.png' source='384,0,576,192'" />
          <Label name="labbackstatus" height="30" padding="0,40,0,0" font="0" align="center" text="尚未备份过" />
          <Label name="labtips1" height="22" padding="0,10,0,0" font="1" textcolor="#ff959ea5" align="center" />
          <Label name="labtips2" height="22" font="1" textcolor="#ff959ea5" align="center" />
        </VerticalLayout>
        <!-- page 1: system list -->
        <VerticalLayout bkcolor="#ffeff1f8">
          <Label name="labrecommand" height="30" font="0" textcolor="#ffff0000" align="center" />
          <List name="listsystem" width="578" height="417" bkcolor="#FFFFFFFF" inset="0,0,0,0" vscrollbar="true" padding="1,0,0,0" />
          <Button name="btnselectandnext" width="200" height="50" padding="190,35,0,0" bkcolor="#fff28537" textcolor="#FFFFFFFF" font="3" text="选择然后下一步" />
        </VerticalLayout>
        <!-- page 2: download -->
        <VerticalLayout>
          <VerticalLayout height="347" bkcolor="#FFFFFFFF">
            <Label name="labdownmsg" height="40" padding="0,20,0,0" font="3" align="center" />
            <HorizontalLayout height="150">
              <GifAnim name="gifprocess" width="150" height="150" padding="215,0,0,0" bkimage="downloading.GIF" />
              <Label name="labdownpro" float="true" pos="255,45,325,105" font="3" align="center" />
            </HorizontalLayout>
            <Label height="30" padding="0,40,0,0" font="3" textcolor="#FFFF0000" align="center" text="温馨提示：由于本软件将修改开机启动，请退出杀毒软件及安全卫士" />
            <Label height="30" font="3" textcolor="#FFFF0000" align="center" text="以免被拦截导致安装失败" />
          </VerticalLayout>
          <VerticalLayout height="100">
            <HorizontalLayout height="30" padding="20,5,0,0">
              <Label name="labfilesize" width="180" font="1" />
              <Label name="labdownspeed" width="180" font="1" />
              <Label name="labdownstatus" width="180" font="1" />
            </HorizontalLayout>
            <HorizontalLayout height="30" padding="20,0,0,0">
              <Label name="labdownloaded" width="180" font="1" />
              <Label name="labremaintime" width="180" font="1" />
            </HorizontalLayout>
            <Button name="btnfilename" width="340" height="30" padding="20,0,0,0" showhtml="true" endellipsis="true" align="left" font="1" />
          </VerticalLayout>
          <HorizontalLayout height="40" padding="0,20,0,0">
            <Button name="btnstop" width="90" height="27" padding="180,0,0,0" bkcolor="#fff28537" textcolor="#FFFFFFFF" font="2" text="停止下载" />
            <Button name="btnpause" width="90" height="27" padding="40,0,0,0" bkcolor="#fff28537" textcolor="#FFFFFFFF" font="2" text="暂停下载" />
          </HorizontalLayout>
        </VerticalLayout>
        <!-- page 3: verification -->
        <VerticalLayout>
          <Label height="40" padding="0,150,0,0" font="3" textcolor="#ff3d559e" align="center" text="正在校验系统镜像，此过程会耗费几分钟的时间。" />
          <Label height="40" font="3" textcolor="#ff3d559e" align="center" text="校验完毕后会自动重启安装系统！" />
          <GifAnim name="giffinish" width="220" height="25" padding="180,30,0,0" bkimage="499.GIF" visible="false" />
        </VerticalLayout>
      </TabLayout>
      <VerticalLayout bkcolor="#fff7f8f8" inset="20,20,0,0">
        <Label name="labcursystem" width="250" height="30" font="0" />
        <Label name="labmemory" width="250" height="30" font="0" />
        <Label name="labsystempath" width="250" height="30" font="0" />
        <Label name="labdownpath" width="250" height="30" font="0" />
        <Label height="30" padding="0,30,0,0" font="2" textcolor="#ff3d559e" text="装机必备" />
        <TileLayout name="tilesoft" width="320" height="80" columns="4" vscrollbar="true" padding="0,10,0,0" />
      </VerticalLayout>
    </HorizontalLayout>
    <HorizontalLayout height="36" bkcolor="#ff2b3e51">
      <Button name="btnmain" width="222" textcolor="#FFFFFFFF" font="2" text="一键重装系统" />
      <Button name="btnbacksys" width="111" textcolor="#FFFFFFFF" font="2" text="备份系统" />
      <Button name="btnrecosys" width="111" textcolor="#FFFFFFFF" font="2" text="还原系统" />
    </HorizontalLayout>
  </VerticalLayout>
</Window>
)";

inline const char kRowSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window>
  <ListContainerElement>
    <HorizontalLayout name="hortooltip" width="580" height="70">
      <Label name="labpic" width="48" height="48" padding="50,11,0,0" />
      <VerticalLayout width="300" padding="40,0,0,0">
        <Label name="labsystemname" width="350" height="22" padding="0,15,0,0" font="1" textcolor="#FF000000" align="left" valign="center" />
        <HorizontalLayout height="20" padding="0,5,0,0">
          <Label name="labsize" width="150" height="20" font="2" textcolor="#00A0A0A4" />
          <Label name="labdata" width="200" height="20" font="2" textcolor="#00A0A0A4" />
        </HorizontalLayout>
      </VerticalLayout>
      <Option name="optselectsystem" group="systemlist" width="43" height="23" padding="55,25,0,0" normalimage="file='switch.png' source='129,0,172,23'" hotimage="file='switch.png' source='172,0,215,23'" pushedimage="file='switch.png' source='172,0,215,23'" selectedimage="file='switch.png' source='43,0,86,23'" />
    </HorizontalLayout>
  </ListContainerElement>
</Window>
)";

inline const char kTileSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<HorizontalLayout width="80" height="80">
  <Button name="btnsoft" width="80" height="80" text="软件" textcolor="#FF000000" align="center" valign="bottom" />
</HorizontalLayout>
)";

inline const char kBackupSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="404,426" caption="0,0,0,25" mininfo="404,426" maxinfo="404,426" showshadow="true" shadowsize="5" shadowposition="1,1" shadowcolor="#333333">
  <Font name="微软雅黑" size="16" />
  <Font name="微软雅黑" size="13" />
  <VerticalLayout>
    <HorizontalLayout height="25" bkcolor="#FF3D559E">
      <Label text="一键备份还原资料" textcolor="#FFFFFFFF" font="1" textpadding="10,0,0,0" />
      <Button name="btnclose" width="27" height="25" normalimage="file='closesmall.png' source='0,0,27,25'" hotimage="file='closesmall.png' source='27,0,54,25'" pushedimage="file='closesmall.png' source='54,0,81,25'" />
    </HorizontalLayout>
    <VerticalLayout bkimage="备份还原资料界面.png">
      <Edit name="editdatapath" float="true" pos="20,69,333,94" nativebkcolor="#FFFFFFFF" textpadding="4,3,4,3" bordersize="1" bordercolor="#FFB0B0B0" />
      <Button name="btnbrowserdata" float="true" pos="342,69,382,94" normalimage="浏览.png" />
      <Option name="optdocument" float="true" pos="24,159,174,201" text="我的文档" normalimage="file='checkbox.png' source='0,0,19,19' dest='0,11,19,30'" hotimage="file='checkbox.png' source='19,0,38,19' dest='0,11,19,30'" selectedimage="file='checkbox.png' source='38,0,57,19' dest='0,11,19,30'" />
      <Option name="optfavorite" float="true" pos="24,224,174,266" text="收藏夹" normalimage="file='checkbox.png' source='0,0,19,19' dest='0,11,19,30'" selectedimage="file='checkbox.png' source='38,0,57,19' dest='0,11,19,30'" />
      <Option name="optdesktop" float="true" pos="232,159,382,201" text="桌面" normalimage="file='checkbox.png' source='0,0,19,19' dest='0,11,19,30'" selectedimage="file='checkbox.png' source='38,0,57,19' dest='0,11,19,30'" />
      <Label name="labdatamsg" float="true" pos="24,275,367,300" font="1" />
      <Label name="lablastback" float="true" pos="168,297,366,322" font="1" />
      <Button name="btnbackupdata" float="true" pos="42,342,172,382" normalimage="备份资料按钮.png" />
      <Button name="btnrecoverydata" float="true" pos="222,342,352,382" normalimage="还原资料按钮.png" />
    </VerticalLayout>
  </VerticalLayout>
</Window>
)";

}  // namespace testing
}  // namespace SkinUI
