// Resource and control ids of Quilo1.exe's windows. The Wine test driver
// includes it too, to find controls and post menu commands.
#pragma once

#define IDI_QUILO1 1
#define IDI_BUSY 2  // Image1: the notification icon while a job runs

#define IDR_MAIN_MENU 100
#define IDD_MAIN 101
#define IDD_SPLASH 102
#define IDD_ABOUT 103
#define IDD_CLOSING 104
#define IDD_MESSAGE 105

// Menu entries
#define IDM_ESCI 200    // m_esci "T&ermina Quilo1"
#define IDM_MANUAL 201  // m_manual "&Manuale Quil1"
#define IDM_INFO 202    // m_info "&Informazioni  su  Quilo1"
#define IDM_CONSOLE 203 // "Console nel browser": the web console's page

// fQuilo1: top row
#define IDC_ANNULLO 1001
#define IDC_TEXT8 1002
// Frame1, "Porte di comunicazione"
#define IDC_FRAME1 1010
#define IDC_HEAD_PORTA 1011
#define IDC_HEAD_STATO 1012
#define IDC_HEAD_DUMP 1013
#define IDC_HEAD_ATTIVA 1014
#define IDC_COM_LABEL1 1020  // "COM 1" to "COM 4": 1020 to 1023
#define IDC_SHAPE1 1024      // Shape1, Shape2, Shape4, Shape5: 1024 to 1027
#define IDC_TEXT4 1028       // Text4 to Text7: 1028 to 1031
#define IDC_CHECK1 1032      // Check1 to Check4: 1032 to 1035
// Frame2, "Configurazione Programma"
#define IDC_FRAME2 1040
#define IDC_LBLPATHVISTA 1041
#define IDC_TXTAPPDATAVISTA 1042
// Frame6, "Altre Opzioni", in the order of the options file
#define IDC_FRAME6 1050
#define IDC_CHBCONVXONXOFF 1051
#define IDC_CHBTRACE 1052
#define IDC_CHKDISABLEDISPLAY 1053
#define IDC_CHKCODFISC 1054
#define IDC_CHBPAGAMENTIESTESI 1055
#define IDC_CHBINVERSIONESCONTISURESO 1056
#define IDC_CHBTEND5ASCORRNONRISCOSSO 1057
#define IDC_CHBNOINVIAAPCASSETTO 1058
#define IDC_CHBFASTDISPLAY 1059
#define IDC_CHBDELAYCOMPATIBILITA 1060
#define IDC_CHBDISABTOTALIZZATORI 1061
#define IDC_CHKFORZAINTESTAZIONEFATTURA 1062
#define IDC_CHECKLOGPAGAMENTO 1063
#define IDC_CHECKSTAMPALOGO 1064
// FrameFattSco, "Gest. Fatture su Scontrino"
#define IDC_FRAMEFATTSCO 1070
#define IDC_OPTFISCAL 1071
#define IDC_OPTNONFISCAL 1072
// Frame4, "Messaggi"
#define IDC_FRAME4 1080
#define IDC_LBLTEXT1 1081
#define IDC_TEXT1 1082
#define IDC_LBLTEXT2 1083
#define IDC_TEXT2 1084
// Frame3, "Impostazioni "
#define IDC_FRAME3 1090
#define IDC_OPTIONFAST 1091
#define IDC_OPTIONSLOW 1092
#define IDC_TEXT3 1093
#define IDC_TXTTIMERVAL 1094
#define IDC_CMDCHGTIMER 1095
// bottom
#define IDC_CMBFILE 1100

// frmSplash
#define IDC_SPLASH_TITLE 1201
#define IDC_SPLASH_VERSION 1202
#define IDC_SPLASH_COMPANY 1204
#define IDC_SPLASH_COPYRIGHT 1205
// frmAbout
#define IDC_ABOUT_TITLE 1301
#define IDC_ABOUT_VERSION 1302
#define IDC_ABOUT_COMMENTS 1303
// Form1
#define IDC_CLOSING_TEXT 1400
// The program's message box
#define IDC_MESSAGE_ICON 1500
#define IDC_MESSAGE_TEXT 1501

// The notification icon's callback: the mouse message in lParam.
#define WM_QUILO1_ICON (WM_APP + 1)
