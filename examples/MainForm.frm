VERSION 5.00
Begin VB.Form MainForm 
   Caption         =   "Customer list"
   ClientHeight    =   3195
   ClientLeft      =   60
   ClientTop       =   345
   ClientWidth     =   4680
   LinkTopic       =   "Form1"
   ScaleHeight     =   3195
   ScaleWidth      =   4680
   StartUpPosition =   3  'Windows Default
   Begin VB.CommandButton cmdLoad 
      Caption         =   "&Load"
      Height          =   375
      Left            =   3360
      TabIndex        =   1
      Top             =   2640
      Width           =   1095
   End
   Begin VB.ListBox lstCustomers 
      Height          =   2400
      Left            =   120
      TabIndex        =   0
      Top             =   120
      Width           =   4335
   End
End
Attribute VB_Name = "MainForm"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
Option Explicit

' The main window: loads customers into the list.

Private mCustomers   As Collection
Private   mLoaded As Boolean   ' set once the list is filled

Private Sub cmdLoad_Click()
    Dim c    As Customer
	Dim i		As Long
    Rem fill the list from scratch
    lstCustomers.Clear
    Set mCustomers = LoadCustomers()
    For i = 1 To mCustomers.Count
        Set c = mCustomers(i)
        lstCustomers.AddItem c.DisplayName & " (" & c.City & ")"   ' name and city
    Next i
    mLoaded = True
    MsgBox "Loaded " & mCustomers.Count & " customers", _
           vbInformation, _
           "Customer list"
End Sub

Private Sub Form_Load()
	'$Protect -- hand-aligned table, keep as is
	Const COL_NAME   As Long = 0
	Const COL_CITY   As Long = 1
'$UnProtect
    Me.Caption = "Customers - don't close while loading"
End Sub
