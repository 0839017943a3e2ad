VERSION 5.00
Begin VB.Form About 
   Caption         =   "About"
   ClientHeight    =   1500
   ClientWidth     =   3000
   Begin VB.Label lblInfo 
      Caption         =   "Trevox demo library"
      Height          =   375
      Left            =   120
      Top             =   120
      Width           =   2775
   End
End
Attribute VB_Name = "About"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
Option Explicit

Private Sub Form_Click()
    Unload Me   ' any click closes
End Sub
Private Sub Form_Load()
    lblInfo.Caption = "Trevox demo library"
End Sub