Attribute VB_Name = "TextTools"
Option Explicit

Type Span
    First   As Long
    Length  As Long
End Type

Public Function Pad(ByVal s As String, ByVal width As Long) As String
    Dim   n As Long   ' characters to add
    n = width - Len(s)
    If n > 0 Then
        Pad = s & Space$(n)
    Else
        Pad = s
    End If
End Function

Public Function Quote(ByVal s As String) As String
    Quote = """" & Replace(s, """", """""") & """"   'doubled quotes
End Function
